// The recent list: order, the limit, one entry per path, and its stored form.
#include "app/recent_rules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace vesk::win {
namespace {

TEST(RecentList, NewestFirstOncePerPathAtMostTen) {
  std::vector<std::string> list;
  for (int i = 0; i < 12; ++i) add_recent(list, "C:\\d\\" + std::to_string(i) + ".md");
  ASSERT_EQ(list.size(), 10u);
  EXPECT_EQ(list.front(), "C:\\d\\11.md");
  EXPECT_EQ(list.back(), "C:\\d\\2.md");
  add_recent(list, "c:/D/5.MD");  // the same file, other spelling: moves up as typed now
  EXPECT_EQ(list.size(), 10u);
  EXPECT_EQ(list.front(), "c:/D/5.MD");
  EXPECT_EQ(std::count(list.begin(), list.end(), "C:\\d\\5.md"), 0);
  add_recent(list, "");
  EXPECT_EQ(list.front(), "c:/D/5.MD");
}

TEST(RecentList, StoredFormRoundTripsAndIsReadSafely) {
  const std::vector<std::string> list = {"C:\\笔记\\a.md", "D:\\book"};
  EXPECT_EQ(split_recent(join_recent(list)), list);
  EXPECT_EQ(split_recent("a\r\n\n\nA\nb"), (std::vector<std::string>{"a", "b"}));
  std::string many;
  for (int i = 0; i < 30; ++i) many += "p" + std::to_string(i) + "\n";
  EXPECT_EQ(split_recent(many).size(), 10u);
  EXPECT_EQ(split_recent(""), std::vector<std::string>{});
  EXPECT_EQ(join_recent({"bad\nname", "ok"}), "ok\n");
  EXPECT_EQ(recent_menu_text(0, "C:\\R&D\\a.md"), "&1 C:\\R&&D\\a.md");
  EXPECT_EQ(recent_menu_text(9, "x"), "1&0 x");
}

}  // namespace
}  // namespace vesk::win
