// A fresh, uniquely named folder under the system temp folder, removed with
// everything in it when the object goes. For tests that need a real disk.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/paths.h"

namespace vesk::testing {

class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "vesk-test-") {
    std::mt19937_64 mix(std::random_device{}() ^
                        static_cast<unsigned long long>(
                            std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() /
          to_fs_path(std::string(prefix) + std::to_string(mix()));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) path_ = candidate;
    }
    EXPECT_FALSE(path_.empty()) << "no temporary folder";
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as UTF-8 with native separators, as the core receives paths.
  std::string utf8() const { return from_fs_path(path_); }

  // Writes `bytes` to a file in the folder; returns its UTF-8 path.
  std::string write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = path_ / to_fs_path(name);
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << from_fs_path(file);
    return from_fs_path(file);
  }

 private:
  std::filesystem::path path_;
};

// The whole file as bytes in a string; a failed read fails the test.
inline std::string read_all(const std::string& path) {
  std::vector<unsigned char> bytes;
  EXPECT_TRUE(read_file_bytes(path, bytes)) << path;
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace vesk::testing
