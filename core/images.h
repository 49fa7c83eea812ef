// Storing pasted and dropped images in the "assets" folder beside the
// document, so the Markdown only ever holds a relative reference.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Pasted and dropped images are held whole in memory: larger ones are refused.
inline constexpr std::size_t kMaxImageBytes = std::size_t{64} << 20;
inline constexpr std::string_view kImageTooLargeStatus = "图片过大（超过 64 MB），未插入";

struct StoredImage {
  bool ok = false;
  std::string relative_path;  // "assets/<file name>", always with "/"
  std::string error;          // the status text when !ok
};

// Writes the bytes to folder/assets/<unique name>. The name comes from the
// local time for clipboard images (and nameless ones), else from `name`.
StoredImage store_image(std::string_view folder, const std::vector<unsigned char>& bytes,
                        std::string_view mime, std::string_view name, bool from_clipboard);

// "<folder>\assets" with the separator the folder already uses. A bare drive
// ("C:", the folder of C:\a.md) gets its root, never the drive-relative
// "C:assets" that means the current folder of drive C.
std::string assets_folder_path(std::string_view folder);

// Extension without the dot, from the name first and the MIME type second.
std::string image_extension(std::string_view mime, std::string_view name);
// A file name base safe on every file system ("image" when nothing is left).
std::string image_base_name(std::string_view name);
// base.ext, or base-2.ext, base-3.ext, ... whichever is not taken yet.
std::string unique_image_name(std::string_view assets_folder, std::string_view base,
                              std::string_view ext);

}  // namespace vesk
