#include "core/images.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/ascii.h"
#include "core/paths.h"

namespace fs = std::filesystem;

namespace vesk {
namespace {

bool is_folder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

std::string local_time_stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

std::string assets_folder_path(std::string_view folder) {
  std::string path(folder);
  const bool bare_drive = path.size() == 2 && path[1] == ':';
  if (path.empty() || !(path.back() == '\\' || path.back() == '/')) {
    const std::size_t first = path.find_first_of("\\/");
    const char native = static_cast<char>(std::filesystem::path::preferred_separator);
    path += first != std::string::npos ? path[first] : bare_drive ? '\\' : native;
  }
  return path + "assets";
}

std::string image_extension(std::string_view mime, std::string_view name) {
  const std::string from_name = ascii_lower(path_extension(name));
  if (from_name == "jpeg") return "jpg";
  // The name comes from the page. Only a plain letters-and-digits extension
  // is taken: a NUL would cut the file name short of the reference inserted
  // into the text, and a ":" would write into an NTFS stream instead.
  const bool plain = std::all_of(from_name.begin(), from_name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
  if (!from_name.empty() && plain) return from_name;

  const std::string type = ascii_lower(mime);
  if (type.find("jpeg") != std::string::npos) return "jpg";
  if (type.find("gif") != std::string::npos) return "gif";
  if (type.find("webp") != std::string::npos) return "webp";
  if (type.find("tiff") != std::string::npos) return "tiff";
  return "png";
}

std::string image_base_name(std::string_view name) {
  const std::string stem = path_stem(path_file_name(name));
  std::string base;
  base.reserve(stem.size());
  for (char c : stem) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
    if (keep) {
      base += c;
    } else if (base.empty() || base.back() != '-') {
      base += '-';
    }
  }
  const std::size_t start = base.find_first_not_of("-.");
  if (start == std::string::npos) return "image";
  return base.substr(start);
}

std::string unique_image_name(std::string_view assets_folder, std::string_view base,
                              std::string_view ext) {
  const fs::path folder = to_fs_path(assets_folder);
  std::string suffix(".");
  suffix.append(ext);
  std::string candidate = std::string(base) + suffix;
  for (unsigned long long n = 2;; ++n) {
    std::error_code error;
    // Only a definite "nothing there" frees a name; a failed query for
    // another reason is treated as free too, as the write will then tell.
    const fs::file_status status = fs::symlink_status(folder / to_fs_path(candidate), error);
    if (error || !fs::exists(status)) return candidate;
    candidate = std::string(base) + "-" + std::to_string(n) + suffix;
  }
}

StoredImage store_image(std::string_view folder, const std::vector<unsigned char>& bytes,
                        std::string_view mime, std::string_view name, bool from_clipboard) {
  StoredImage result;
  if (folder.empty() || !is_folder(to_fs_path(folder))) {
    result.error = "图片未插入：当前文档还没有保存位置，请先保存 .md 文件";
    return result;
  }

  fs::path assets = to_fs_path(assets_folder_path(folder));
  assets.make_preferred();
  std::error_code ignored;
  fs::create_directories(assets, ignored);
  if (!is_folder(assets)) {
    result.error = "图片未插入：无法创建 assets 目录（" + from_fs_path(assets) + "）";
    return result;
  }

  const std::string ext = image_extension(mime, name);
  const std::string base =
      (from_clipboard || name.empty()) ? "paste-" + local_time_stamp() : image_base_name(name);
  const std::string file_name = unique_image_name(from_fs_path(assets), base, ext);
  const fs::path target = assets / to_fs_path(file_name);

  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    result.error = "图片未插入：无法写入 assets/" + file_name;
    return result;
  }
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  // The stream buffers, so a full disk may only show when closing flushes the
  // rest: that counts as a failed write too, rather than a reference to a
  // truncated image.
  const bool written = out.good();
  out.close();
  if (!written || out.fail()) {
    fs::remove(target, ignored);
    result.error = "图片未插入：写入不完整（assets/" + file_name + "），已删除残缺文件";
    return result;
  }

  result.ok = true;
  result.relative_path = "assets/" + file_name;
  return result;
}

}  // namespace vesk
