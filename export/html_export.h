// The decisions of the HTML export: where the file goes, how local images
// become data: URLs so the file needs nothing beside it, and what the status
// line says. Portable; export_win.cpp does the dialog and the writing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk {

// Shown in place of an image that cannot be read; the class is for the
// exported page's own style sheet.
inline constexpr std::string_view kMissingImageOpen = "<span class=\"vesk-img-missing\">[图片缺失] ";
inline constexpr std::string_view kMissingImageClose = "</span>";
// Shown in place of an image on another machine, as the live view does.
inline constexpr std::string_view kNetworkImagePlaceholder =
    "<span class=\"vesk-img-network\">网络位置的图片未加载</span>";

// The type of an image by the ending of its lower-cased path; anything
// unknown is "application/octet-stream".
std::string_view mime_type_for_path(std::string_view path);

// Replaces every image source the reader sees (see find_image_sources) that
// names a local file by a data: URL of the file, typed by its content.
// Sources that are data:, http: or https: (any case) stay as they are;
// relative paths are joined to `folder` (empty means "."). A file that cannot
// be read, is empty, is larger than kMaxInlineImageBytes or is no image
// replaces the whole tag by the missing-image placeholder and adds one to
// `missing`; an image on another machine is never read and becomes the
// network placeholder.
std::string inline_local_images(std::string_view html, std::string_view folder, std::size_t& missing);

// The file an export suggests: the document's folder and name with the new
// extension ("C:\docs\notes.final.md", ".html" → "C:\docs\notes.final.html"),
// or "<fallback folder>\未命名<extension>" for a document without a path.
std::string suggested_export_path(std::string_view document_path, std::string_view fallback_folder,
                                  std::string_view extension);

// The folder relative image sources are resolved against: the document's
// own, or `fallback_folder` for a document without a path.
std::string export_image_folder(std::string_view document_path, std::string_view fallback_folder);

// "已导出到 <path>", with "（N 张图片缺失）" when images were missing.
std::string export_status_text(std::string_view target, std::size_t missing);

}  // namespace vesk
