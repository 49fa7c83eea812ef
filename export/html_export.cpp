#include "export/html_export.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "core/ascii.h"
#include "core/json.h"
#include "core/paths.h"
#include "export/image_sources.h"

namespace vesk {
namespace {

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

// "/x", "\\server\share", "C:\x" and "C:/x" name a file by themselves; a
// drive path joined to the document folder would name nothing.
bool is_absolute_path(std::string_view path) {
  if (!path.empty() && is_separator(path[0])) return true;
  const char drive = static_cast<char>(path.empty() ? 0 : path[0] | 0x20);
  return path.size() >= 3 && drive >= 'a' && drive <= 'z' && path[1] == ':' && is_separator(path[2]);
}

// \\server\share, //server/x, "/\server" and device paths (\\?\…, \??\…):
// reading one makes Windows connect to that machine and offer the reader's
// credentials, and an export must not carry another machine's files.
bool is_network_path(std::string_view path) {
  return (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) || path.starts_with("\\??\\");
}

enum class SourceKind { kKept, kNetwork, kFile };

// What an image source names: web and inline sources stay as they are,
// paths on other machines never load, anything else is a file to embed.
SourceKind resolve_image_source(std::string_view source, std::string_view folder, std::string& path) {
  const std::string lower = ascii_lower(source);
  if (lower.starts_with("data:") || lower.starts_with("http:") || lower.starts_with("https:")) {
    return SourceKind::kKept;
  }
  if (lower.starts_with("file:")) {
    path = percent_decode(source.substr(5));
    // Slashes and backslashes mix freely in what Windows takes for a host.
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
      const std::size_t end = path.find_first_of("/\\", 2);
      const std::string host = ascii_lower(path.substr(2, end == std::string::npos ? end : end - 2));
      // file://host/… names a share on that host; only an empty host or
      // localhost is this machine. The separator after the host stays, so
      // "file:////host/x" is a share once more and "file:///C:/x" a drive.
      if (!host.empty() && host != "localhost") return SourceKind::kNetwork;
      path.erase(0, end == std::string::npos ? path.size() : end);
      if (path.size() >= 3 && is_separator(path[0]) && path[2] == ':') path.erase(0, 1);
    }
    return is_network_path(path) ? SourceKind::kNetwork : SourceKind::kFile;
  }
  std::string decoded = percent_decode(source);
  if (is_network_path(decoded)) return SourceKind::kNetwork;
  if (is_absolute_path(decoded)) {
    path = std::move(decoded);
    return SourceKind::kFile;
  }
  path.assign(folder);
  if (!path.empty() && !is_separator(path.back())) path += '/';
  path += decoded;
  return SourceKind::kFile;
}

// The bytes of an image file small enough to embed; false for files that
// cannot be read, are empty or are larger than an export embeds.
bool read_image_file(const std::string& path, std::vector<unsigned char>& bytes) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(to_fs_path(path), error);
  if (error || size == 0 || size > kMaxInlineImageBytes) return false;
  return read_file_bytes(path, bytes) && !bytes.empty() && bytes.size() <= kMaxInlineImageBytes;
}

}  // namespace

std::string_view mime_type_for_path(std::string_view path) {
  const std::string lower = ascii_lower(path);
  if (ends_with(lower, ".png")) return "image/png";
  if (ends_with(lower, ".jpg") || ends_with(lower, ".jpeg")) return "image/jpeg";
  if (ends_with(lower, ".gif")) return "image/gif";
  if (ends_with(lower, ".webp")) return "image/webp";
  if (ends_with(lower, ".svg")) return "image/svg+xml";
  if (ends_with(lower, ".bmp")) return "image/bmp";
  return "application/octet-stream";
}

std::string inline_local_images(std::string_view html, std::string_view folder, std::size_t& missing) {
  missing = 0;
  if (html.empty()) return {};
  const std::string_view base = folder.empty() ? std::string_view(".") : folder;

  // First the sources that name a file or another machine, with where they are.
  struct LocalImage {
    ImageSourceSpan span;  // offsets in `html`
    SourceKind kind;
    std::string path;
  };
  std::vector<LocalImage> images;
  for (const ImageSourceSpan& span : find_image_sources(html)) {
    const std::string source =
        decode_attribute_value(html.substr(span.value_begin, span.value_end - span.value_begin));
    std::string path;
    const SourceKind kind = resolve_image_source(source, base, path);
    if (kind != SourceKind::kKept) images.push_back({span, kind, std::move(path)});
  }

  // The result is sized once: dozens of megabytes of images would otherwise
  // be copied again at every growth of the buffer.
  std::size_t estimate = html.size();
  for (const LocalImage& image : images) {
    std::error_code error;
    const std::uintmax_t size =
        image.kind == SourceKind::kFile ? std::filesystem::file_size(to_fs_path(image.path), error) : 0;
    if (!error && size <= kMaxInlineImageBytes) estimate += 64 + static_cast<std::size_t>((size + 2) / 3 * 4);
  }
  std::string out;
  out.reserve(estimate);

  // Then tag by tag: an image whose own source is unusable becomes a
  // placeholder as a whole; a srcset candidate that is gives way to an empty
  // data: URL, which the browser skips.
  std::vector<unsigned char> bytes;
  std::vector<std::string> urls;
  std::size_t at = 0;
  for (std::size_t first = 0; first < images.size();) {
    std::size_t last = first;
    while (last < images.size() && images[last].span.tag_begin == images[first].span.tag_begin) ++last;
    const std::size_t tag_begin = images[first].span.tag_begin, tag_end = images[first].span.tag_end;
    urls.clear();
    const LocalImage* lost = nullptr;
    std::size_t lost_candidates = 0;
    for (std::size_t i = first; i < last; ++i) {
      const LocalImage& image = images[i];
      std::string_view mime;
      if (image.kind == SourceKind::kFile && read_image_file(image.path, bytes)) {
        mime = image_mime_for_bytes(bytes.data(), bytes.size());
      }
      if (mime.empty()) {
        urls.emplace_back("data:,");
        if (image.span.primary && !lost) lost = &image;
        if (!image.span.primary && image.kind == SourceKind::kFile) ++lost_candidates;
        continue;
      }
      std::string url = "data:" + std::string(mime) + ";base64,";
      append_base64(bytes.data(), bytes.size(), url);
      urls.push_back(std::move(url));
    }
    out.append(html.substr(at, tag_begin - at));
    if (lost) {
      const std::string_view source = html.substr(lost->span.value_begin, lost->span.value_end - lost->span.value_begin);
      if (lost->kind == SourceKind::kNetwork) {
        out.append(kNetworkImagePlaceholder);
      } else {
        out.append(kMissingImageOpen).append(source).append(kMissingImageClose);
        ++missing;
      }
    } else {
      std::size_t copied = tag_begin;
      for (std::size_t i = first; i < last; ++i) {
        out.append(html.substr(copied, images[i].span.value_begin - copied));
        out.append(urls[i - first]);
        copied = images[i].span.value_end;
      }
      out.append(html.substr(copied, tag_end - copied));
      missing += lost_candidates;
    }
    at = tag_end;
    first = last;
  }
  out.append(html.substr(at));
  return out;
}

std::string suggested_export_path(std::string_view document_path, std::string_view fallback_folder,
                                  std::string_view extension) {
  if (document_path.empty()) return std::string(fallback_folder) + "\\未命名" + std::string(extension);
  const std::size_t slash = document_path.find_last_of("\\/");
  const std::string_view name = slash == std::string_view::npos ? document_path : document_path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  std::string suggested;
  if (slash != std::string_view::npos) suggested.append(document_path.substr(0, slash)).append("\\");
  suggested.append(name.substr(0, dot)).append(extension);
  return suggested;
}

std::string export_image_folder(std::string_view document_path, std::string_view fallback_folder) {
  if (document_path.empty()) return std::string(fallback_folder);
  const std::size_t slash = document_path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? std::string_view() : document_path.substr(0, slash));
}

std::string export_status_text(std::string_view target, std::size_t missing) {
  std::string text = "已导出到 " + std::string(target);
  if (missing > 0) text += "（" + std::to_string(missing) + " 张图片缺失）";
  return text;
}

}  // namespace vesk
