// Page assembly: placeholders, the font rule, the protocol flag, the base
// element and its escaping.
#include "webhost/page_assembly.h"

#include <gtest/gtest.h>

#include "core/json.h"

namespace vesk {
namespace {

EditorPageSources sources(std::string html = "<html><head><style>__VESK_CSS__</style></head>"
                                             "<body><script>__VESK_JS__</script></body></html>") {
  return {std::move(html), "body{}", "run();", ""};
}

TEST(PageAssembly, InlinesStyleAndScriptWithTheFlag) {
  const auto page = assemble_editor_page(sources(), true, "");
  ASSERT_TRUE(page);
  EXPECT_EQ(*page,
            "<html><head><style>body{}</style></head>"
            "<body><script>window.VESK_INLINE_PROTO=true;run();</script></body></html>");
  const auto off = assemble_editor_page(sources(), false, "");
  ASSERT_TRUE(off);
  EXPECT_NE(off->find("<script>window.VESK_INLINE_PROTO=false;run();</script>"), std::string::npos);
}

TEST(PageAssembly, ThemeForTheFirstPaintGoesIntoTheTemplateOnly) {
  // The style sheet and the script keep their text: the page hashes its script.
  EditorPageSources s = sources(
      "<head>__VESK_CSS__</head><body class=\"theme-__VESK_THEME__\">__VESK_JS__</body>");
  s.css = "/*__VESK_THEME__*/";
  s.js = "'__VESK_THEME__';";
  const auto dark = assemble_editor_page(s, true, "", "dark");
  ASSERT_TRUE(dark);
  EXPECT_EQ(*dark,
            "<head>/*__VESK_THEME__*/</head><body class=\"theme-dark\">"
            "window.VESK_INLINE_PROTO=true;'__VESK_THEME__';</body>");
  for (const char* other : {"light", "", "Dark", "dark\""}) {
    const auto page = assemble_editor_page(s, true, "", other);
    ASSERT_TRUE(page);
    EXPECT_NE(page->find("<body class=\"theme-light\">"), std::string::npos) << other;
  }
  // Without a theme argument the page is light.
  EXPECT_NE(assemble_editor_page(s, true, "")->find("theme-light"), std::string::npos);
}

TEST(PageAssembly, AnyEmptyWebFileFails) {
  for (int empty = 0; empty < 3; ++empty) {
    EditorPageSources s = sources();
    (empty == 0 ? s.html : empty == 1 ? s.css : s.js).clear();
    EXPECT_FALSE(assemble_editor_page(s, true, "file:///C:/d/")) << empty;
  }
}

TEST(PageAssembly, InsertedBlocksAreNotSearchedAgain) {
  // A style sheet that mentions its own placeholder must not recurse, and a
  // placeholder written twice gets the block twice.
  EditorPageSources s = sources("<head>__VESK_CSS__|__VESK_CSS__</head>__VESK_JS__");
  s.css = "a{content:'__VESK_CSS__'}";
  const auto page = assemble_editor_page(s, true, "");
  ASSERT_TRUE(page);
  EXPECT_EQ(*page,
            "<head>a{content:'__VESK_CSS__'}|a{content:'__VESK_CSS__'}</head>"
            "window.VESK_INLINE_PROTO=true;run();");
}

TEST(PageAssembly, FontRuleLeadsTheStyleBlock) {
  EditorPageSources s = sources("<head>__VESK_CSS__</head>__VESK_JS__");
  s.font = std::string("\x00\x01\x02ttf", 6);
  const auto page = assemble_editor_page(s, true, "");
  ASSERT_TRUE(page);
  const std::string rule =
      "@font-face{font-family:'JetBrains Mono';src:url(data:font/ttf;base64,AAECdHRm) "
      "format('truetype');font-weight:300;font-style:normal;font-display:block;}";
  EXPECT_EQ(font_face_rule(s.font), rule);
  EXPECT_EQ(page->substr(0, 6 + rule.size() + 6), "<head>" + rule + "body{}");
  EXPECT_EQ(font_face_rule(""), "");
}

TEST(PageAssembly, BaseElementForTheFolder) {
  struct Case {
    const char* html;
    const char* url;
    const char* expected_head;
  };
  const Case cases[] = {
      {"<head></head>", "file:///C:/docs", "<head><base href=\"file:///C:/docs/\"></head>"},
      {"<head></head>", "file:///C:/docs/", "<head><base href=\"file:///C:/docs/\"></head>"},
      {"<head></head>", "file:///C:/a&b/\"<x>",
       "<head><base href=\"file:///C:/a&amp;b/&quot;&lt;x&gt;/\"></head>"},
      {"<head></head>", "", "<head></head>"},                        // no folder
      {"<head>", "file:///C:/docs/", "<head>"},                      // no </head>
      {"<head></head></head>", "file:///Z:/", "<head><base href=\"file:///Z:/\"></head></head>"},
  };
  for (const Case& c : cases) {
    EditorPageSources s = sources(std::string(c.html) + "__VESK_CSS____VESK_JS__");
    const auto page = assemble_editor_page(s, true, c.url);
    ASSERT_TRUE(page) << c.url;
    EXPECT_EQ(page->substr(0, page->find("body{}")), c.expected_head) << c.url;
  }
}

TEST(PageAssembly, ProtocolFlagValues) {
  struct Case {
    const char* value;
    bool enabled;
  };
  const Case cases[] = {{"", true},     {"1", true},       {"true", true}, {"OFF", true},
                        {"False", true}, {"off ", true},   {"0", false},   {"false", false},
                        {"off", false}};
  for (const Case& c : cases) EXPECT_EQ(inline_protocol_enabled(c.value), c.enabled) << c.value;
}

TEST(PageAssembly, FolderNameAndUrl) {
  EXPECT_EQ(editor_page_folder_name(4242, 0x01db2c3d4e5f6071), "4242-01db2c3d4e5f6071");
  std::uint32_t id = 0;
  std::uint64_t time = 0;
  ASSERT_TRUE(parse_editor_page_folder_name("4294967295-ffffffffffffffff", id, time));
  EXPECT_EQ(id, 4294967295u);
  EXPECT_EQ(time, 0xffffffffffffffffu);
  // Anything else in the folder is not a page folder and is never removed.
  for (const char* other : {"", "-01db2c3d4e5f6071", "4294967296-01db2c3d4e5f6071", "12-01db2c3d4e5f607",
                            "12-01db2c3d4e5f60712", "12-01DB2C3D4E5F6071", "x2-01db2c3d4e5f6071", "notes",
                            "12_01db2c3d4e5f6071"}) {
    EXPECT_FALSE(parse_editor_page_folder_name(other, id, time)) << other;
  }
  EXPECT_EQ(page_url_with_generation("file:///C:/p/page.html", 3), "file:///C:/p/page.html?g3#g3");
}

}  // namespace
}  // namespace vesk
