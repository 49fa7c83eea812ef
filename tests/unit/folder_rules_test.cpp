// The folder panel's rules: Explorer's name order, what is listed, the names
// Windows refuses, paths the page sends, and the JSON of a listing.
#include "app/folder_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/json.h"

namespace vesk::win {
namespace {

TEST(FolderRules, LogicalOrderLikeExplorer) {
  std::vector<std::string> names = {"file10.md", "File2.md", "file1.md", "a.md", "B.md", "第2章.md",
                                    "第10章.md", "x01.md",   "x1.md",    "x001.md", "10.md", "9.md"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return logical_compare(a, b) < 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"9.md", "10.md", "a.md", "B.md", "file1.md", "File2.md", "file10.md",
                                             "x001.md", "x01.md", "x1.md", "第2章.md", "第10章.md"}));
  // Case alone never makes two names unequal for sorting purposes, but it
  // still breaks the tie so the order is total.
  EXPECT_NE(logical_compare("Notes.md", "notes.md"), 0);
  EXPECT_EQ(logical_compare("Notes.md", "notes.md"), -logical_compare("notes.md", "Notes.md"));
  EXPECT_EQ(logical_compare("same", "same"), 0);
  EXPECT_LT(logical_compare("a", "ab"), 0);
  // A run of digits longer than any integer still compares by value.
  EXPECT_LT(logical_compare("v99999999999999999999.md", "v100000000000000000000.md"), 0);
}

TEST(FolderRules, ListedEntriesAndOrder) {
  EXPECT_TRUE(folder_entry_listed("notes.MD", false, false));
  EXPECT_TRUE(folder_entry_listed("book.markdown", false, false));
  EXPECT_FALSE(folder_entry_listed("image.png", false, false));
  EXPECT_FALSE(folder_entry_listed("md", false, false));
  EXPECT_FALSE(folder_entry_listed("secret.md", false, true));
  EXPECT_FALSE(folder_entry_listed(".git", true, false));
  EXPECT_FALSE(folder_entry_listed("node_modules", true, false));
  EXPECT_TRUE(folder_entry_listed("chapter", true, false));
  EXPECT_TRUE(folder_entry_listed(".github", true, false));

  std::vector<FolderEntry> entries = {{"b.md", false}, {"z", true}, {"a10.md", false}, {"a9.md", false}, {"c", true}};
  sort_folder_entries(entries);
  std::vector<std::string> names;
  for (const FolderEntry& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"c", "z", "a9.md", "a10.md", "b.md"}));
}

TEST(FolderRules, NamesWindowsRefuses) {
  for (const char* ok : {"笔记.md", "a b.md", ".hidden.md", "con-notes.md", "COM0.md", "LPT10.md", "consul"}) {
    EXPECT_EQ(windows_name_problem(ok), "") << ok;
  }
  for (const char* bad : {"", "   ", "a<b.md", "a>b", "a:b", "a\"b", "a/b", "a\\b", "a|b", "a?b", "a*b",
                          "tab\there", "name.", "name ", "CON", "con.md", "Nul.txt", "aux", "PRN.md", "COM1",
                          "lpt9.md", "CON .md"}) {
    EXPECT_NE(windows_name_problem(bad), "") << bad;
  }
  EXPECT_NE(windows_name_problem("con.md").find("“con”"), std::string::npos);  // the message names it as typed
  EXPECT_EQ(windows_name_problem(std::string(255, 'a')), "");
  EXPECT_NE(windows_name_problem(std::string(256, 'a')), "");
  // 200 Chinese characters are 600 bytes but 200 UTF-16 units: allowed.
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += "字";
  EXPECT_EQ(windows_name_problem(chinese), "");
}

TEST(FolderRules, PagePathsStayInsideTheRoot) {
  EXPECT_EQ(folder_child_path("C:\\notes", ""), "C:\\notes");
  EXPECT_EQ(folder_child_path("C:\\notes\\", "a/b.md"), "C:\\notes\\a\\b.md");
  EXPECT_EQ(folder_child_path("C:\\", "x.md"), "C:\\x.md");
  EXPECT_EQ(folder_child_path("C:\\notes", "章节/第1章.md"), "C:\\notes\\章节\\第1章.md");
  for (const char* bad : {"..", "a/../../x", "./a", "a//b", "/a", "a/", "C:/x", "a\\..\\b", "x.md:stream"}) {
    EXPECT_EQ(folder_child_path("C:\\notes", bad), "") << bad;
  }
  EXPECT_EQ(folder_child_path("", "a.md"), "");
}

TEST(FolderRules, ListingJsonParsesBack) {
  const std::vector<FolderEntry> entries = {{"d\"ir", true}, {"笔记.md", false}, {"c.md", false}};
  JsonValue value;
  ASSERT_TRUE(parse_json(folder_entries_json("C:\\r", "sub", entries, 1, 5, true), value));
  EXPECT_EQ(value.find("root")->text, "C:\\r");
  EXPECT_EQ(value.find("dir")->text, "sub");
  ASSERT_EQ(value.find("entries")->items.size(), 2u);
  EXPECT_EQ(value.find("entries")->items[0].find("name")->text, "笔记.md");
  EXPECT_TRUE(value.get_bool("done", false));
  ASSERT_TRUE(parse_json(folder_entries_json("r", "", entries, 0, 1, false), value));
  EXPECT_EQ(value.find("entries")->items[0].find("name")->text, "d\"ir");
  EXPECT_TRUE(value.find("entries")->items[0].get_bool("dir", false));

  ASSERT_TRUE(parse_json(folder_index_json("r", {"a.md", "b/c.md", "d.md"}, 1, 10, false, true), value));
  ASSERT_EQ(value.find("files")->items.size(), 2u);
  EXPECT_EQ(value.find("files")->items[0].text, "b/c.md");
  EXPECT_TRUE(value.get_bool("truncated", false));
  EXPECT_EQ(folder_index_log_line("C:\\r", 2000, 15), "NATIVE folder C:\\r files=2000 ms=15");
}

}  // namespace
}  // namespace vesk::win
