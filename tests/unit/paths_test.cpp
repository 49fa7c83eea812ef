// Path text rules, the folder URL handed to the page, and the bridge between
// UTF-8 text and the file system (UTF-16 on Windows).
#include "core/paths.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace vesk {
namespace {

struct TextCase {
  const char* input;
  const char* expected;
};

TEST(PathText, FileName) {
  const TextCase cases[] = {
      {"a/b/c.md", "c.md"},   {"a\\b\\c.md", "c.md"}, {"a/b\\c", "c"},
      {"a\\b/c", "c"},        {"c.md", "c.md"},       {"dir/", ""},
      {"", ""},               {"/文档/笔记.md", "笔记.md"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(path_file_name(c.input), c.expected) << c.input;
}

TEST(PathText, Extension) {
  const TextCase cases[] = {
      {"a.tar.gz", "gz"},
      {"dir/a.MD", "MD"},    // case is kept; callers lower it
      {".md", ""},           // a leading dot is not an extension
      {"dir/.bashrc", ""},
      {"notes.md.", ""},     // nor is a trailing one
      {"my.dir/notes", ""},  // dots in folders never count
      {"my.dir\\notes", ""},
      {"C:\\x.y\\sub/readme", ""},
      {"noext", ""},
      {"", ""},
      {"a..b", "b"},
      {"/文档.d/图片.png", "png"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(path_extension(c.input), c.expected) << c.input;
}

TEST(PathText, Stem) {
  const TextCase cases[] = {
      {"a.tar.gz", "a.tar"}, {".md", ".md"}, {"notes", "notes"},
      {"notes.", "notes"},   {"", ""},       {"..png", "."},
  };
  for (const TextCase& c : cases) EXPECT_EQ(path_stem(c.input), c.expected) << c.input;
}

TEST(PathText, MarkdownAndImageKinds) {
  struct KindCase {
    const char* path;
    bool markdown;
    bool image;
  };
  const KindCase cases[] = {
      {"README.MD", true, false},
      {"a.TxT", true, false},
      {"a.markdown", true, false},
      {"C:\\notes\\a.Mdown", true, false},
      {"/home/me/a.mkd", true, false},
      {"a.mdx", false, false},
      {"a.md.bak", false, false},
      {".md", false, false},
      {"md", false, false},
      {"notes.md/readme", false, false},
      {"a.\xEF\xBD\x8D\xEF\xBD\x84", false, false},  // full-width "md" is not folded
      {"photo.JPEG", false, true},
      {"scan.TIF", false, true},
      {"a.tiff", false, true},
      {"a.png", false, true},
      {"a.jpg", false, true},
      {"a.gif", false, true},
      {"a.webp", false, true},
      {"a.Heic", false, true},
      {"a.bmp", false, true},
      {"icon.svg", false, false},
      {"a.ico", false, false},
      {"a.pngx", false, false},
      {".png", false, false},
      {"report.pdf", false, false},
      {"", false, false},
  };
  for (const KindCase& c : cases) {
    EXPECT_EQ(is_markdown_path(c.path), c.markdown) << c.path;
    EXPECT_EQ(is_image_path(c.path), c.image) << c.path;
  }
}

TEST(DirectoryFileUrl, Shapes) {
  const TextCase cases[] = {
      {"C:\\Users\\me\\Docs", "file:///C:/Users/me/Docs/"},
      {"C:/Users/me/Docs", "file:///C:/Users/me/Docs/"},
      {"C:\\", "file:///C:/"},
      {"C:/", "file:///C:/"},
      {"C:", "file:///C:/"},
      {"/home/me/docs", "file:///home/me/docs/"},
      {"/home/me/docs/", "file:///home/me/docs/"},
      // Every trailing separator goes, of either kind.
      {"/home/me/docs///", "file:///home/me/docs/"},
      {"C:\\Docs\\\\/\\", "file:///C:/Docs/"},
      // ... but one byte always remains.
      {"/", "file:////"},
      {"//", "file:////"},
      {"\\", "file:////"},
      {"\\\\\\", "file:////"},
      {"", "file:////"},
      {"\\\\server\\share\\dir", "file:////server/share/dir/"},
      {"\\\\server\\share\\", "file:////server/share/"},
      {"docs", "file:///docs/"},
      {"C:\\My Docs", "file:///C:/My%20Docs/"},
      {"/a#b/c%d/e?f", "file:///a%23b/c%25d/e%3Ff/"},
      {"/x+y&z=w@v'u(t)", "file:///x%2By%26z%3Dw%40v%27u%28t%29/"},
      {"/a-b.c_d~e:f", "file:///a-b.c_d~e:f/"},
      {"/tab\there\x01\x7F", "file:///tab%09here%01%7F/"},
      // UTF-8 bytes are escaped one by one, upper-case hex.
      {"C:\\文档", "file:///C:/%E6%96%87%E6%A1%A3/"},
      {"/caf\xC3\xA9", "file:///caf%C3%A9/"},
      {"/100%25", "file:///100%2525/"},  // no double-decoding of "%"
  };
  for (const TextCase& c : cases) EXPECT_EQ(directory_file_url(c.input), c.expected) << c.input;
}

TEST(FsPath, Utf8RoundTripsThroughTheNativeForm) {
  const std::string names[] = {"笔记.md", "文档/子目录/图片 一.png", "C:\\用户\\文档", "plain.txt",
                               "caf\xC3\xA9 \xF0\x9F\x98\x80.md"};
  for (const std::string& name : names) EXPECT_EQ(from_fs_path(to_fs_path(name)), name) << name;
#ifdef _WIN32
  EXPECT_EQ(to_fs_path("笔记.md").native(), L"\u7B14\u8BB0.md");
  EXPECT_EQ(to_fs_path("\xF0\x9F\x98\x80").native(), L"\U0001F600");
#else
  EXPECT_EQ(to_fs_path("笔记.md").native(), "笔记.md");
#endif
  EXPECT_EQ(from_fs_path(to_fs_path("文档/笔记.md").filename()), "笔记.md");
}

TEST(FsPath, AbsoluteNormalPath) {
#ifdef _WIN32
  const TextCase cases[] = {
      {"C:/x/y/../z//w/./v.md", "C:\\x\\z\\w\\v.md"},
      {"C:\\a/b\\..\\c", "C:\\a\\c"},
      {"C:\\..", "C:\\"},
      {"C:\\文档\\.\\笔记.md", "C:\\文档\\笔记.md"},
      // UNC paths keep their server and share.
      {"\\\\server\\share\\a\\..\\b.md", "\\\\server\\share\\b.md"},
      {"//server/share/./a//b.md", "\\\\server\\share\\a\\b.md"},
      {"\\\\server\\share\\文档\\笔记.md", "\\\\server\\share\\文档\\笔记.md"},
  };
  const char separator = '\\';
#else
  const TextCase cases[] = {
      {"/x/y/../z//w/./v.md", "/x/z/w/v.md"},
      {"/..", "/"},
      {"/文档/./笔记.md", "/文档/笔记.md"},
      {"/a\\b", "/a\\b"},  // a backslash is part of a name here
  };
  const char separator = '/';
#endif
  for (const TextCase& c : cases) EXPECT_EQ(absolute_normal_path(c.input), c.expected) << c.input;

  // Relative paths are resolved against the current folder; nothing needs to
  // exist on disk.
  std::string folder = from_fs_path(fs::current_path());
  if (folder.back() != separator) folder += separator;
  EXPECT_EQ(absolute_normal_path("no-such-dir/./x/../c.md"),
            folder + "no-such-dir" + separator + "c.md");
  EXPECT_EQ(absolute_normal_path(""), "");
}

TEST(FsPath, SharePathsKeepServerAndShare) {
  const TextCase cases[] = {
      {"\\\\server\\share\\a\\..\\b.md", "\\\\server\\share\\b.md"},
      {"//server/share/./a//b.md", "\\\\server\\share\\a\\b.md"},
      {"\\\\server\\share\\..\\..\\x.md", "\\\\server\\share\\x.md"},
      {"\\\\server\\share\\", "\\\\server\\share"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(normalize_share_path(c.input, '\\'), c.expected) << c.input;
  }
}

class ReadFileBytes : public ::testing::Test {
 protected:
  testing::TempFolder temp_{"vesk-paths-"};
  const fs::path& root_ = temp_.path();

  std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
    const fs::path path = root_ / to_fs_path(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good());
    return from_fs_path(path);
  }

};

TEST_F(ReadFileBytes, ReadsEveryByteUntranslated) {
  // CR LF, Ctrl-Z and NUL would all be altered or cut short by a text-mode
  // read on Windows; the size spans several read buffers.
  std::vector<unsigned char> bytes = {'\r', '\n', 0x1A, 0x00, '\n', 0xFF, '\r'};
  for (int i = 0; i < 20000; ++i) bytes.push_back(static_cast<unsigned char>(i * 7));
  const std::string path = write("图片 一.png", bytes);

  std::vector<unsigned char> read = {1, 2, 3};
  ASSERT_TRUE(read_file_bytes(path, read));
  EXPECT_EQ(read, bytes);
}

TEST_F(ReadFileBytes, ZeroByteFileIsReadAsEmpty) {
  const std::string path = write("empty.png", {});
  std::vector<unsigned char> read = {1, 2, 3};
  ASSERT_TRUE(read_file_bytes(path, read));
  EXPECT_TRUE(read.empty());
}

TEST_F(ReadFileBytes, MissingFileAndFolderFail) {
  std::vector<unsigned char> read;
  EXPECT_FALSE(read_file_bytes(from_fs_path(root_ / "missing.png"), read));

  fs::create_directory(root_ / to_fs_path("文件夹.png"));
  EXPECT_FALSE(read_file_bytes(from_fs_path(root_ / to_fs_path("文件夹.png")), read));
  EXPECT_FALSE(read_file_bytes(from_fs_path(root_), read));
  EXPECT_FALSE(read_file_bytes("", read));
}

}  // namespace
}  // namespace vesk
