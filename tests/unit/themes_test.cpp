#include "app/themes.h"

#include <gtest/gtest.h>

#include "core/json.h"

namespace vesk {
namespace {

TEST(Themes, MenuListsBuiltInsThenTheReadersStyleSheetsByName) {
  const auto choices = theme_choices("C:\\Vesk\\web", "C:\\A\\themes",
                                     {"zeta.css", "Alpha.CSS", "notes.txt", ".css", ".hidden.css", "纸张.css", "浅色.css", "b.css.bak"});
  std::vector<std::string> names;
  for (const auto& c : choices) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"浅色", "深色", "纸张", "Alpha", "zeta"}));
  EXPECT_TRUE(choices[0].file.empty());
  EXPECT_TRUE(choices[1].dark);
  EXPECT_TRUE(choices[1].file.empty());
  EXPECT_EQ(choices[2].file, "C:\\Vesk\\web\\themes\\paper.css");
  EXPECT_EQ(choices[3].file, "C:\\A\\themes\\Alpha.CSS");
  EXPECT_EQ(find_theme(choices, "zeta"), 4);
  EXPECT_EQ(find_theme(choices, "gone"), -1);

  std::vector<std::string> many;
  for (int i = 0; i < 100; ++i) many.push_back("t" + std::to_string(1000 + i) + ".css");
  EXPECT_EQ(theme_choices("w", "u", many).size(), 3 + kMaxReaderThemes);
}

TEST(Themes, PageCallCarriesNameAndCssAsOneJsonText) {
  const std::string css = "body{content:\"</style>\\\"\"}\n";
  const std::string script = reader_theme_script("我的 \"theme\"", css);
  const std::string head = "window.vesk && window.vesk.setReaderTheme(";
  ASSERT_EQ(script.rfind(head, 0), 0u);
  JsonValue argument;
  ASSERT_TRUE(parse_json(script.substr(head.size(), script.size() - head.size() - 2), argument));
  JsonValue theme;
  ASSERT_TRUE(parse_json(argument.as_string(), theme));
  EXPECT_EQ(theme.get_string("name", ""), "我的 \"theme\"");
  EXPECT_EQ(theme.get_string("css", ""), css);
  EXPECT_EQ(reader_theme_script("", "ignored"), head + "\"\");");
}

}  // namespace
}  // namespace vesk
