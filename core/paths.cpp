#include "core/paths.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "core/ascii.h"

namespace vesk {
namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

template <std::size_t N>
bool extension_in(std::string_view path, const std::array<std::string_view, N>& list) {
  const std::string ext = ascii_lower(path_extension(path));
  for (std::string_view candidate : list) {
    if (ext == candidate) return true;
  }
  return false;
}

bool url_safe(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == ':';
}

}  // namespace

std::string path_file_name(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string path_extension(std::string_view path) {
  const std::string name = path_file_name(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

std::string path_stem(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name);
  return std::string(name.substr(0, dot));
}

std::string ensure_extension(std::string_view path, std::string_view extension) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("\\/");
  const bool has_extension =
      dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
  std::string result(path);
  if (!has_extension) result.append(".").append(extension);
  return result;
}

bool is_markdown_path(std::string_view path) {
  static constexpr std::array<std::string_view, 5> kMarkdown = {"md", "markdown", "mdown", "mkd",
                                                                "txt"};
  return extension_in(path, kMarkdown);
}

bool is_image_path(std::string_view path) {
  static constexpr std::array<std::string_view, 9> kImages = {
      "png", "jpg", "jpeg", "gif", "webp", "heic", "tif", "tiff", "bmp"};
  return extension_in(path, kImages);
}

std::string directory_file_url(std::string_view folder) {
  // Trailing separators go, but never the last byte: "/" stays "/".
  while (folder.size() >= 2 && is_separator(folder.back())) folder.remove_suffix(1);

  std::string url = "file://";
  url.reserve(url.size() + folder.size() * 3 + 2);
  if (folder.empty() || !is_separator(folder.front())) url += '/';
  for (char c : folder) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      url += '/';
    } else if (url_safe(byte)) {
      url += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      url += escaped;
    }
  }
  url += '/';
  return url;
}

std::filesystem::path to_fs_path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string from_fs_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string normalize_share_path(std::string_view path, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      // Server and share are the root: ".." never climbs above them.
      if (parts.size() > 2) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string normal(2, separator);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) normal += separator;
    normal.append(parts[i]);
  }
  return normal;
}

std::string absolute_normal_path(std::string_view utf8) {
#ifdef _WIN32
  // The mingw std::filesystem does not know UNC root names and would turn
  // "\\server\share\a.md" into a path on the current drive. A share path is
  // absolute already, so it only needs the lexical clean-up.
  if (utf8.size() > 2 && is_separator(utf8[0]) && is_separator(utf8[1])) {
    // "\\?\" and "\\.\" paths are taken literally by Windows: left alone.
    if (utf8.size() > 3 && (utf8[2] == '?' || utf8[2] == '.') && is_separator(utf8[3])) {
      return std::string(utf8);
    }
    return normalize_share_path(utf8, '\\');
  }
#endif
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(to_fs_path(utf8), error);
  if (error) return std::string(utf8);
  absolute.make_preferred();
  return from_fs_path(absolute.lexically_normal());
}

bool read_file_bytes(std::string_view utf8, std::vector<unsigned char>& bytes) {
  const std::filesystem::path path = to_fs_path(utf8);
  std::error_code error;
  // file_size refuses folders and devices, which would otherwise "open".
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  bytes.resize(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) return false;
  // A file that grew since file_size was read is still read whole.
  char extra[4096];
  while (in.read(extra, sizeof extra) || in.gcount() > 0) {
    bytes.insert(bytes.end(), extra, extra + in.gcount());
  }
  return !in.bad();
}

std::string percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hex_digit_value(text[i + 1]);
      const int low = hex_digit_value(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace vesk
