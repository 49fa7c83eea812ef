// Image storage beside the document: naming, collisions and every failure
// that must leave the assets folder clean, on a real temporary folder.
#include "core/images.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/paths.h"
#include "temp_folder.h"
#include "app/documents.h"

namespace fs = std::filesystem;

namespace vesk {
namespace {

using Bytes = std::vector<unsigned char>;

const char kNoFolder[] = "图片未插入：当前文档还没有保存位置，请先保存 .md 文件";

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

struct TextCase {
  const char* input;
  const char* expected;
};

TEST(ImageNaming, BaseName) {
  const TextCase cases[] = {
      {"My Photo (1).PNG", "My-Photo-1-"},
      {"我的 图片.png", "image"},
      {"shot.final.jpeg", "shot.final"},
      {".png", "png"},
      {"", "image"},
      {"photo", "photo"},
      {"a--b__c.png", "a--b__c"},  // the name's own hyphens all stay
      {"a  \t b.png", "a-b"},      // a run of replaced bytes is one hyphen
      {"a- b.png", "a-b"},         // ... and none is added after a hyphen
      {"a -b.png", "a--b"},        // but a hyphen after one still passes
      {"-._x.png", "_x"},
      {"---", "image"},
      {"...png", "image"},
      {"caf\xC3\xA9.png", "caf-"},
      {"a:b*c?d\"e<f>g|h.png", "a-b-c-d-e-f-g-h"},
      {"x\x01y.png", "x-y"},
      {"../../etc/passwd.png", "passwd"},
      {"..\\..\\evil.png", "evil"},
      {"C:\\Users\\me\\截图 2024.png", "2024"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(image_base_name(c.input), c.expected) << c.input;
}

TEST(ImageNaming, AssetsFolderOfADocumentFolder) {
  // The folder of each document, as the window derives it.
  EXPECT_EQ(assets_folder_path(win::parent_directory("C:\\a.md")), "C:\\assets");
  EXPECT_EQ(assets_folder_path(win::parent_directory("C:/a.md")), "C:\\assets");
  EXPECT_EQ(assets_folder_path(win::parent_directory("\\\\server\\share\\a.md")),
            "\\\\server\\share\\assets");
  EXPECT_EQ(assets_folder_path("C:/x"), "C:/x/assets");
  EXPECT_EQ(assets_folder_path("C:\\"), "C:\\assets");
  EXPECT_EQ(assets_folder_path("/home/u/d"), "/home/u/d/assets");
}

TEST(ImageNaming, Extension) {
  struct ExtCase {
    const char* mime;
    const char* name;
    const char* expected;
  };
  const ExtCase cases[] = {
      {"", "a.PNG", "png"},
      {"", "shot.final.jpeg", "jpg"},
      {"", "a.JPEG", "jpg"},
      {"image/gif", "a.Heic", "heic"},  // the name wins over the type
      {"image/png", "a.weird", "weird"},
      {"image/jpg", "", "png"},
      {"image/bmp", "", "png"},
      {"image/svg+xml", "", "png"},
      {"", "", "png"},
      {"image/jpeg", "", "jpg"},
      {"IMAGE/JPEG", "", "jpg"},
      {"image/pjpeg", "", "jpg"},
      {"image/gif", "", "gif"},
      {"image/webp", "paste", "webp"},
      {"image/tiff", "", "tiff"},
      {"image/jpeg", ".png", "jpg"},  // a dot file has no extension
      {"image/gif", "x.", "gif"},
      {"image/gif", "my.dir/photo", "gif"},  // nor does a dotted folder give one
      // Extensions that would not name the file the reference names.
      {"image/gif", "a.png:evil", "gif"},
      {"", "a.p g", "png"},
  };
  for (const ExtCase& c : cases) {
    EXPECT_EQ(image_extension(c.mime, c.name), c.expected) << c.mime << " " << c.name;
  }
  EXPECT_EQ(image_extension("image/webp", std::string("a.p\0ng", 6)), "webp");
}

// A fresh folder under the system temp folder for each test.
class ImagesOnDisk : public ::testing::Test {
 protected:
  testing::TempFolder temp_{"vesk-images-"};
  const fs::path& root_ = temp_.path();
  const std::string folder_ = temp_.utf8();  // native separators

  fs::path assets() const { return root_ / "assets"; }

  static Bytes read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << from_fs_path(path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static void write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
  }

  static std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }

};

TEST_F(ImagesOnDisk, UniqueNameSkipsEveryTakenName) {
  const std::string& folder = folder_;
  EXPECT_EQ(unique_image_name(folder, "a", "png"), "a.png");
  EXPECT_EQ(unique_image_name(folder_ + kSeparator + "missing", "a", "png"), "a.png");

  write(root_ / "a.png", {1});
  EXPECT_EQ(unique_image_name(folder, "a", "png"), "a-2.png");
  // Folders block a name as much as files do.
  fs::create_directory(root_ / "a-2.png");
  EXPECT_EQ(unique_image_name(folder, "a", "png"), "a-3.png");
  // A taken name further on does not matter until it is reached.
  write(root_ / "a-4.png", {1});
  EXPECT_EQ(unique_image_name(folder, "a", "png"), "a-3.png");
  write(root_ / "a-3.png", {1});
  EXPECT_EQ(unique_image_name(folder, "a", "png"), "a-5.png");
  // Other extensions and bases are separate names.
  EXPECT_EQ(unique_image_name(folder, "a", "gif"), "a.gif");
  EXPECT_EQ(unique_image_name(folder, "a-2", "png"), "a-2-2.png");
}

#ifndef _WIN32
TEST_F(ImagesOnDisk, DanglingLinkBlocksAName) {
  // Writing through it would put the image wherever the link points.
  fs::create_symlink(root_ / "elsewhere.png", root_ / "a.png");
  EXPECT_EQ(unique_image_name(folder_, "a", "png"), "a-2.png");
}
#endif

TEST_F(ImagesOnDisk, StoresIntoNewAssetsFolder) {
  const Bytes bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0x00, 0xFF};
  const StoredImage stored = store_image(folder_, bytes, "", "My Photo (1).PNG", false);
  ASSERT_TRUE(stored.ok) << stored.error;
  EXPECT_EQ(stored.relative_path, "assets/My-Photo-1-.png");
  EXPECT_EQ(stored.error, "");
  EXPECT_TRUE(fs::is_directory(assets()));
  EXPECT_EQ(read(assets() / "My-Photo-1-.png"), bytes);
}

TEST_F(ImagesOnDisk, NameCollisionsNumberTheNextFiles) {
  for (unsigned char i = 1; i <= 3; ++i) {
    const StoredImage stored =
        store_image(folder_, Bytes{i}, "image/png", "shot.final.jpeg", false);
    ASSERT_TRUE(stored.ok) << stored.error;
  }
  // Earlier files keep their bytes: nothing was overwritten.
  EXPECT_EQ(read(assets() / "shot.final.jpg"), Bytes{1});
  EXPECT_EQ(read(assets() / "shot.final-2.jpg"), Bytes{2});
  EXPECT_EQ(read(assets() / "shot.final-3.jpg"), Bytes{3});
}

TEST_F(ImagesOnDisk, FolderInAssetsBlocksTheName) {
  fs::create_directories(assets() / "png.png");
  const StoredImage stored = store_image(folder_, Bytes{7}, "", ".png", false);
  ASSERT_TRUE(stored.ok) << stored.error;
  EXPECT_EQ(stored.relative_path, "assets/png-2.png");
  EXPECT_TRUE(fs::is_directory(assets() / "png.png"));
  EXPECT_EQ(read(assets() / "png-2.png"), Bytes{7});
}

TEST_F(ImagesOnDisk, ZeroByteImageIsStoredAsEmptyFile) {
  const StoredImage stored = store_image(folder_, {}, "", "empty.gif", false);
  ASSERT_TRUE(stored.ok) << stored.error;
  EXPECT_EQ(stored.relative_path, "assets/empty.gif");
  EXPECT_TRUE(fs::is_regular_file(assets() / "empty.gif"));
  EXPECT_EQ(fs::file_size(assets() / "empty.gif"), 0u);
}

TEST_F(ImagesOnDisk, ChineseFolderAndName) {
  const fs::path document = root_ / to_fs_path("我的 文档");
  fs::create_directory(document);
  const Bytes bytes = {1, 2, 3};
  const StoredImage stored = store_image(from_fs_path(document), bytes, "", "我的 图片.png", false);
  ASSERT_TRUE(stored.ok) << stored.error;
  EXPECT_EQ(stored.relative_path, "assets/image.png");
  EXPECT_EQ(read(document / "assets" / "image.png"), bytes);
}

TEST_F(ImagesOnDisk, MissingFolderFailsAndCreatesNothing) {
  const fs::path missing = root_ / "missing";
  const std::string not_a_folder = from_fs_path(root_ / "doc.md");
  write(root_ / "doc.md", {'#'});
  for (const std::string& folder : {std::string(), from_fs_path(missing), not_a_folder}) {
    for (bool from_clipboard : {false, true}) {
      const StoredImage stored =
          store_image(folder, Bytes{1}, "image/png", "a.png", from_clipboard);
      EXPECT_FALSE(stored.ok) << folder;
      EXPECT_EQ(stored.error, kNoFolder) << folder;
      EXPECT_EQ(stored.relative_path, "");
    }
  }
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(entries(root_), 1u);  // only doc.md
}

TEST_F(ImagesOnDisk, FileNamedAssetsBlocksTheFolder) {
  write(assets(), {'x'});
  // The message shows the folder with native separators whatever was passed.
  const std::u8string text = root_.generic_u8string();
  const std::string generic(text.begin(), text.end());
  const StoredImage stored = store_image(generic, Bytes{1}, "", "a.png", false);
  EXPECT_FALSE(stored.ok);
  EXPECT_EQ(stored.error, "图片未插入：无法创建 assets 目录（" + folder_ + kSeparator + "assets）");
  EXPECT_TRUE(fs::is_regular_file(assets()));
  EXPECT_EQ(read(assets()), Bytes{'x'});
}

TEST_F(ImagesOnDisk, UnwritableNameFailsAndLeavesNothing) {
  // Far longer than any file system allows for one name.
  const std::string name(400, 'n');
  const StoredImage stored = store_image(folder_, Bytes{1}, "", name + ".png", false);
  EXPECT_FALSE(stored.ok);
  EXPECT_EQ(stored.error, "图片未插入：无法写入 assets/" + name + ".png");
  EXPECT_EQ(entries(assets()), 0u);
}

// "paste-YYYYMMDD-HHMMSS" for a local time within [before, after], both
// widened by a second.
bool is_paste_stamp(const std::string& base, std::time_t before, std::time_t after) {
  if (base.size() != 21 || base.compare(0, 6, "paste-") != 0 || base[14] != '-') return false;
  for (std::size_t i = 6; i < base.size(); ++i) {
    if (i != 14 && (base[i] < '0' || base[i] > '9')) return false;
  }
  const auto field = [&](std::size_t at, std::size_t width) {
    return std::stoi(base.substr(at, width));
  };
  for (std::time_t t = before - 1; t <= after + 1; ++t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    if (field(6, 4) == local.tm_year + 1900 && field(10, 2) == local.tm_mon + 1 &&
        field(12, 2) == local.tm_mday && field(15, 2) == local.tm_hour &&
        field(17, 2) == local.tm_min && field(19, 2) == local.tm_sec) {
      return true;
    }
  }
  return false;
}

TEST_F(ImagesOnDisk, ClipboardAndNamelessImagesAreNamedByLocalTime) {
  struct TimeCase {
    const char* mime;
    const char* name;
    bool from_clipboard;
    const char* ext;
  };
  const TimeCase cases[] = {
      {"image/png", "paste", true, ".png"},
      {"image/webp", "", false, ".webp"},  // a nameless page image
      {"", "", true, ".png"},
      {"image/png", "photo.gif", true, ".gif"},  // the name still gives the extension
  };
  int folder = 0;
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path document = root_ / std::to_string(++folder);  // no collisions
    fs::create_directory(document);
    const std::time_t before = std::time(nullptr);
    const StoredImage stored =
        store_image(from_fs_path(document), Bytes{1}, c.mime, c.name, c.from_clipboard);
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(stored.ok) << stored.error;
    const std::string ext = c.ext;
    const std::string& path = stored.relative_path;
    ASSERT_GT(path.size(), 7 + ext.size());
    EXPECT_EQ(path.substr(0, 7), "assets/");
    EXPECT_EQ(path.substr(path.size() - ext.size()), ext);
    EXPECT_TRUE(is_paste_stamp(path.substr(7, path.size() - 7 - ext.size()), before, after))
        << path;
    EXPECT_TRUE(fs::is_regular_file(document / to_fs_path(path)));
  }
}

TEST_F(ImagesOnDisk, PastesWithinOneSecondAreNumbered) {
  // The three pastes must share a second; retry in a fresh folder when a
  // second boundary happens to fall between them.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const fs::path document = root_ / std::to_string(attempt);
    fs::create_directory(document);
    const std::time_t before = std::time(nullptr);
    std::vector<std::string> paths;
    for (unsigned char i = 1; i <= 3; ++i) {
      const StoredImage stored =
          store_image(from_fs_path(document), Bytes{i}, "image/png", "paste", true);
      ASSERT_TRUE(stored.ok) << stored.error;
      paths.push_back(stored.relative_path);
    }
    if (std::time(nullptr) != before) continue;

    const std::string first = paths[0];
    ASSERT_EQ(first.size(), std::string("assets/paste-20240131-235959.png").size()) << first;
    const std::string stem = first.substr(0, first.size() - 4);
    EXPECT_EQ(paths[1], stem + "-2.png");
    EXPECT_EQ(paths[2], stem + "-3.png");
    EXPECT_EQ(read(document / to_fs_path(paths[0])), Bytes{1});
    EXPECT_EQ(read(document / to_fs_path(paths[2])), Bytes{3});
    return;
  }
  FAIL() << "the clock kept crossing second boundaries";
}

}  // namespace
}  // namespace vesk
