// Local history: which saves keep a version, names that are only ours, and
// which versions go when a document or the whole history is over its limit.
#include "core/history.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(History, KeepsChangedBytesUpToTheSizeLimitInOneFolderPerFile) {
  EXPECT_TRUE(history_keeps_version("old", "new"));
  EXPECT_TRUE(history_keeps_version("", "new"));
  EXPECT_FALSE(history_keeps_version("same", "same"));
  const std::string at_limit(kHistoryMaxDocumentBytes, 'a');
  EXPECT_TRUE(history_keeps_version(at_limit, ""));
  EXPECT_FALSE(history_keeps_version(at_limit + "a", ""));

  // One file however Windows spells it; another file elsewhere.
  EXPECT_EQ(history_folder_name("C:\\Docs\\Note.md"), history_folder_name("c:/docs/note.md"));
  EXPECT_NE(history_folder_name("C:\\Docs\\Note.md"), history_folder_name("C:\\Docs\\Note2.md"));
  EXPECT_EQ(history_folder_name("x").size(), 16u);
}

TEST(History, FileNamesReadBackAndForeignNamesAreRefused) {
  EXPECT_EQ(parse_history_file_name(history_file_name(1796900000123)), 1796900000123);
  EXPECT_EQ(parse_history_file_name(history_file_name(5, 3)), 5);
  for (const char* name : {"", ".vesk-version", "12.vesk-version", "-1-0.vesk-version", "12-.vesk-version",
                           "1a-0.vesk-version", "12-0.vesk-version.tmp-4", "12-0.md", "99999999999999999999-0.vesk-version"}) {
    EXPECT_FALSE(parse_history_file_name(name)) << name;
  }
}

std::vector<HistoryVersion> versions(const std::string& folder, int count, std::uint64_t size, std::int64_t start) {
  std::vector<HistoryVersion> out;
  for (int i = 0; i < count; ++i) out.push_back({folder, history_file_name(start + i), start + i, size});
  return out;
}

TEST(History, DropsPastTwentyPerDocumentThenTheOldestOverFiftyMegabytes) {
  // 25 small versions of one document: the 5 oldest go, the other document keeps its own.
  auto all = versions("a", 25, 10, 1000);
  auto b = versions("b", 3, 10, 0);
  all.insert(all.end(), b.begin(), b.end());
  auto drop = history_versions_to_drop(all, "a");
  ASSERT_EQ(drop.size(), 5u);
  for (const auto& v : drop) {
    EXPECT_EQ(v.folder, "a");
    EXPECT_LT(v.time_ms, 1005);
  }

  // Over 50 MB in all: the oldest of any document go first, until it fits.
  const std::uint64_t mb = 1024 * 1024;
  all = versions("old", 4, 9 * mb, 0);            // 36 MB, oldest
  auto fresh = versions("new", 2, 9 * mb, 100);   // 18 MB
  all.insert(all.end(), fresh.begin(), fresh.end());
  drop = history_versions_to_drop(all, "new");
  ASSERT_EQ(drop.size(), 1u);
  EXPECT_EQ(drop[0].folder, "old");
  EXPECT_EQ(drop[0].time_ms, 0);

  // The version just kept stays even when it is the oldest by its time
  // (the clock went back) and everything else has to go.
  all = versions("other", 6, 9 * mb, 500);
  all.push_back({"mine", history_file_name(1), 1, 10 * mb});
  drop = history_versions_to_drop(all, "mine");
  for (const auto& v : drop) EXPECT_NE(v.folder, "mine");
  std::uint64_t left = 10 * mb + 6 * 9 * mb;
  for (const auto& v : drop) left -= v.size;
  EXPECT_LE(left, kHistoryMaxTotalBytes);

  EXPECT_TRUE(history_versions_to_drop({}, "x").empty());
}

}  // namespace
}  // namespace vesk
