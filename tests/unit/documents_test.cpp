// Document rules the Windows shell decides from text: file names, the
// caption, byte order marks and line ends.
#include "app/documents.h"

#include <gtest/gtest.h>

#include "core/paths.h"

namespace vesk::win {
namespace {

struct Case {
  const char* input;
  const char* expected;
};

TEST(DocumentNames, ParentDirectory) {
  const Case cases[] = {
      {"C:\\x\\a.md", "C:\\x"}, {"C:\\a.md", "C:"},   {"/a.md", "/"},   {"\\a.md", "\\"},
      {"a.md", ""},             {"", ""},             {"a/b\\c.md", "a/b"},
      {"\\\\server\\share\\d.md", "\\\\server\\share"},
  };
  for (const Case& c : cases) EXPECT_EQ(parent_directory(c.input), c.expected) << c.input;
}

TEST(DocumentNames, EnsureExtension) {
  const Case cases[] = {
      {"C:\\x\\notes", "C:\\x\\notes.md"},
      {"C:\\x\\notes.md", "C:\\x\\notes.md"},
      {"C:\\x\\notes.txt", "C:\\x\\notes.txt"},  // any extension is kept
      {"C:\\v1.2\\notes", "C:\\v1.2\\notes.md"},  // a dot in a folder does not count
      {"C:\\x\\.notes", "C:\\x\\.notes"},         // a dot file has one
      {"notes.", "notes."},
      {"", ".md"},
  };
  for (const Case& c : cases) EXPECT_EQ(ensure_extension(c.input, "md"), c.expected) << c.input;
}

TEST(DocumentNames, DisplayNameAndCaption) {
  EXPECT_EQ(display_name(""), "未命名");
  EXPECT_EQ(display_name("C:\\x\\a.md"), "a.md");
  EXPECT_EQ(display_name("笔记.md"), "笔记.md");
  EXPECT_EQ(caption_text("未命名", false), "未命名 - Vesk");
  EXPECT_EQ(caption_text("a.md", true), "a.md* - Vesk");
  EXPECT_EQ(unsaved_question_text("a.md"), "“a.md”有尚未保存的修改，是否保存？");
}

TEST(DocumentBytes, ByteOrderMarkIsDroppedOnlyAtTheStart) {
  std::string text = "\xEF\xBB\xBF# 标题\n";
  strip_utf8_bom(text);
  EXPECT_EQ(text, "# 标题\n");
  strip_utf8_bom(text);
  EXPECT_EQ(text, "# 标题\n");
  std::string short_text = "\xEF\xBB";
  strip_utf8_bom(short_text);
  EXPECT_EQ(short_text, "\xEF\xBB");
  std::string inner = "a\xEF\xBB\xBF";
  strip_utf8_bom(inner);
  EXPECT_EQ(inner, "a\xEF\xBB\xBF");
}

TEST(DocumentBytes, CrLfDetection) {
  EXPECT_FALSE(contains_crlf(""));
  EXPECT_FALSE(contains_crlf("\r"));
  EXPECT_FALSE(contains_crlf("a\nb\r"));
  EXPECT_FALSE(contains_crlf("a\n\rb"));
  EXPECT_TRUE(contains_crlf("\r\n"));
  EXPECT_TRUE(contains_crlf("one\ntwo\r\n"));
}

TEST(DocumentBytes, RestoringCrLfNeverDoublesACarriageReturn) {
  const Case cases[] = {
      {"", ""},
      {"a", "a"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"\n\n", "\r\n\r\n"},
      // Text that already holds CR LF keeps exactly one CR per line end.
      {"a\r\nb\nc\r\n", "a\r\nb\r\nc\r\n"},
      {"a\r\r\n", "a\r\r\n"},
      {"lone\rcr", "lone\rcr"},
  };
  for (const Case& c : cases) EXPECT_EQ(restore_crlf(c.input), c.expected) << c.input;
  // Saving twice is the same as saving once.
  const std::string once = restore_crlf("x\ny\n");
  EXPECT_EQ(restore_crlf(once), once);
}

TEST(UnsavedAnswer, OnlyExactWordsAnswerWithoutAsking) {
  UnsavedAnswer answer = UnsavedAnswer::Cancel;
  EXPECT_TRUE(answer_from_environment("save", answer));
  EXPECT_EQ(answer, UnsavedAnswer::Save);
  EXPECT_TRUE(answer_from_environment("discard", answer));
  EXPECT_EQ(answer, UnsavedAnswer::Discard);
  EXPECT_TRUE(answer_from_environment("cancel", answer));
  EXPECT_EQ(answer, UnsavedAnswer::Cancel);
  for (const char* other : {"", "Save", "SAVE", " save", "save ", "yes"}) {
    EXPECT_FALSE(answer_from_environment(other, answer)) << other;
  }
}

}  // namespace
}  // namespace vesk::win
