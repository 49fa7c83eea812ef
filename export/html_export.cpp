#include "export/html_export.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "core/ascii.h"
#include "core/json.h"
#include "core/paths.h"

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

// \\server\share, //server/x and device paths (\\?\…): reading one makes
// Windows connect to that machine and offer the reader's credentials, and an
// export must not carry another machine's files.
bool is_network_path(std::string_view path) {
  return path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
}

// The file an image source names, or nothing for sources left as they are:
// web and inline sources, and paths on other machines.
std::optional<std::string> resolve_image_source(std::string_view source, std::string_view folder) {
  const std::string lower = ascii_lower(source);
  if (lower.starts_with("data:") || lower.starts_with("http:") || lower.starts_with("https:")) {
    return std::nullopt;
  }
  if (lower.starts_with("file:")) {
    std::string path = percent_decode(source.substr(5));
    if (path.starts_with("///")) {
      path.erase(0, 3);
    } else if (path.starts_with("//")) {
      // file://host/… names a share on that host; only an empty host or
      // localhost is this machine.
      const std::size_t end = path.find_first_of("/\\", 2);
      const std::string host = ascii_lower(path.substr(2, end == std::string::npos ? end : end - 2));
      if (!host.empty() && host != "localhost") return std::nullopt;
      path.erase(0, end == std::string::npos ? path.size() : end + (host.empty() ? 0 : 1));
    }
    if (is_network_path(path)) return std::nullopt;
    return path;
  }
  std::string decoded = percent_decode(source);
  if (is_network_path(decoded)) return std::nullopt;
  if (is_absolute_path(decoded)) return decoded;
  std::string path(folder);
  if (!path.empty() && !is_separator(path.back())) path += '/';
  path += decoded;
  return path;
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
  constexpr std::string_view kSrc = "src=\"";

  // First the tags whose source names a local file, with where they are.
  struct LocalImage {
    std::size_t tag_begin, tag_end, value_begin, value_end;  // offsets in `html`
    std::string path;
  };
  std::vector<LocalImage> images;
  for (std::size_t at = 0;;) {
    const std::size_t open = html.find("<img", at);
    const std::size_t close = open == std::string_view::npos ? open : html.find('>', open + 4);
    if (close == std::string_view::npos) break;
    at = close + 1;
    const std::string_view tag = html.substr(open, close + 1 - open);
    const std::size_t src = tag.find(kSrc);
    if (src == std::string_view::npos) continue;
    const std::size_t value_begin = src + kSrc.size();
    const std::size_t value_end = tag.find('"', value_begin);
    if (value_end == std::string_view::npos || value_end == value_begin) continue;
    std::optional<std::string> path = resolve_image_source(tag.substr(value_begin, value_end - value_begin), base);
    if (!path) continue;
    images.push_back({open, close + 1, open + value_begin, open + value_end, std::move(*path)});
  }

  // The result is sized once: dozens of megabytes of images would otherwise
  // be copied again at every growth of the buffer.
  std::size_t estimate = html.size();
  for (const LocalImage& image : images) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(to_fs_path(image.path), error);
    if (!error) estimate += 64 + static_cast<std::size_t>((size + 2) / 3 * 4);
  }
  std::string out;
  out.reserve(estimate);

  std::vector<unsigned char> bytes;
  std::size_t at = 0;
  for (const LocalImage& image : images) {
    const std::string_view source = html.substr(image.value_begin, image.value_end - image.value_begin);
    if (!read_file_bytes(image.path, bytes) || bytes.empty()) {
      out.append(html.substr(at, image.tag_begin - at));
      out.append(kMissingImageOpen).append(source).append(kMissingImageClose);
      ++missing;
    } else {
      out.append(html.substr(at, image.value_begin - at));
      out.append("data:").append(mime_type_for_path(image.path)).append(";base64,");
      append_base64(bytes.data(), bytes.size(), out);
      out.append(html.substr(image.value_end, image.tag_end - image.value_end));
    }
    at = image.tag_end;
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
