// The three routes of a document to the page, the pieces of the chunked
// route, and the generation check on page messages.
#include "webhost/page_channel.h"

#include <gtest/gtest.h>

#include "core/editor_host.h"
#include "core/json.h"

namespace vesk {
namespace {

// A text whose JSON form (quotes included) is exactly `size` bytes.
std::string text_quoting_to(std::size_t size) { return std::string(size - 2, 'a'); }

TEST(MarkdownDelivery, RouteBySize) {
  struct Case {
    std::size_t quoted_size;
    MarkdownRoute route;
  };
  const std::size_t message_head = 31;  // {"__vesk":"setMarkdown","text":
  const Case cases[] = {
      {2, MarkdownRoute::PageCall},
      {kPageCallLimit, MarkdownRoute::PageCall},
      {kPageCallLimit + 1, MarkdownRoute::WebMessage},
      {kWebMessageLimit - message_head - 1, MarkdownRoute::WebMessage},
      {kWebMessageLimit - message_head, MarkdownRoute::Chunks},
  };
  for (const Case& c : cases) {
    const MarkdownDelivery d = plan_markdown_delivery(text_quoting_to(c.quoted_size));
    EXPECT_EQ(d.route, c.route) << c.quoted_size;
    if (c.route == MarkdownRoute::WebMessage) {
      EXPECT_LE(d.payload.size(), kWebMessageLimit);
    }
  }
}

TEST(MarkdownDelivery, PayloadsCarryTheTextIntact) {
  const std::string small = "# 标题\n\"quoted\" \\ \x01 </script>";
  const MarkdownDelivery call = plan_markdown_delivery(small);
  EXPECT_EQ(call.route, MarkdownRoute::PageCall);
  // The same call the core would build for any other page function.
  EXPECT_EQ(call.payload, page_call_string("setMarkdown", small));

  const std::string large = std::string(kPageCallLimit, 'x') + "\n\"尾\"";
  const MarkdownDelivery message = plan_markdown_delivery(large);
  ASSERT_EQ(message.route, MarkdownRoute::WebMessage);
  EXPECT_EQ(message.payload.rfind(R"({"__vesk":"setMarkdown","text":")", 0), 0u);
  JsonValue parsed;
  ASSERT_TRUE(parse_json(message.payload, parsed));
  EXPECT_EQ(parsed.get_string("__vesk", ""), "setMarkdown");
  EXPECT_EQ(parsed.get_string("text", ""), large);
}

TEST(InjectionChunks, BoundariesAndLimits) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t limit;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"empty", "", 4, {}},
      {"fits", "abcd", 4, {"abcd"}},
      {"split", "abcdef", 4, {"abcd", "ef"}},
      // Quotes and backslashes cost two, control bytes six.
      {"quotes", "\"\"\"", 4, {"\"\"", "\""}},
      {"control", "a\x01", 6, {"a", "\x01"}},
      // Three-byte characters stay whole.
      {"cjk", "中文字", 4, {"中", "文", "字"}},
      {"cjk pairs", "中文字", 6, {"中文", "字"}},
      // A lead byte with nothing after it is one character of its own.
      {"lone lead", "ab\xE4", 2, {"ab", "\xE4"}},
      {"cut short", "a\xF0\x9F", 3, {"a\xF0\x9F"}},
      // One character larger than the limit still travels, alone.
      {"oversized", "\x01x", 2, {"\x01", "x"}},
  };
  for (const Case& c : cases) {
    const auto chunks = split_for_injection(c.text, c.limit);
    std::vector<std::string> got(chunks.begin(), chunks.end());
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(InjectionChunks, QuotesCountDouble) {
  const std::string quotes(600000, '"');
  const auto chunks = split_for_injection(quotes);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].size(), 262144u);
  EXPECT_EQ(chunks[1].size(), 262144u);
  for (auto chunk : chunks) EXPECT_LE(json_quote(chunk).size() - 2, kChunkLimit);
}

TEST(MarkdownDelivery, QuotedTextOfEveryRoute) {
  for (std::size_t size : {std::size_t{10}, kPageCallLimit, kWebMessageLimit}) {
    const std::string text = std::string(size, 'q') + "\"\\\n\x01中";
    EXPECT_EQ(quoted_text_of(plan_markdown_delivery(text)), json_quote(text)) << size;
  }
}

TEST(InjectionChunks, ScriptsRebuildTheText) {
  std::string text;
  for (int i = 0; text.size() < 3 * kChunkLimit; ++i) text += "行 " + std::to_string(i) + " \"\\\t\n";
  const auto scripts = chunk_injection_scripts(text);
  ASSERT_GE(scripts.size(), 5u);
  EXPECT_EQ(scripts.front(), "window.__veskInject=[];");
  EXPECT_EQ(scripts.back(),
            "(function(){var t=(window.__veskInject||[]).join('');window.__veskInject=[];"
            "window.vesk&&window.vesk.setMarkdown(t);})();");
  const std::string head = "window.__veskInject.push(";
  std::string rebuilt;
  for (std::size_t i = 1; i + 1 < scripts.size(); ++i) {
    const std::string& s = scripts[i];
    ASSERT_EQ(s.rfind(head, 0), 0u);
    ASSERT_EQ(s.substr(s.size() - 2), ");");
    const std::string literal = s.substr(head.size(), s.size() - head.size() - 2);
    EXPECT_LE(literal.size() - 2, kChunkLimit);
    JsonValue piece;
    ASSERT_TRUE(parse_json(literal, piece));
    rebuilt += piece.as_string();
  }
  EXPECT_EQ(rebuilt, text);
  // Each piece's literal is what quoting that piece alone gives.
  const auto pieces = split_for_injection(text);
  ASSERT_EQ(pieces.size() + 2, scripts.size());
  for (std::size_t i = 0; i < pieces.size(); ++i) EXPECT_EQ(scripts[i + 1], head + json_quote(pieces[i]) + ");");
}

TEST(Engines, OnlyPlainNamesAreAskedForAndTheTextArrivesWhole) {
  EXPECT_EQ(engine_request(R"({"type":"loadEngine","name":"diagrams"})"), "diagrams");
  for (const char* message : {R"({"type":"loadEngine","name":"..\\editor"})", R"({"type":"loadEngine","name":"a/b"})",
                              R"({"type":"loadEngine","name":"Diagrams"})", R"({"type":"loadEngine","name":""})",
                              R"({"type":"loadEngine"})", R"({"type":"log","name":"diagrams"})", "not json"}) {
    EXPECT_EQ(engine_request(message), "") << message;
  }
  std::string text;
  while (text.size() < 2 * kChunkLimit) text += "var s=\"</script>\\u2028\";\n";
  const auto scripts = engine_injection_scripts("diagrams", text);
  ASSERT_GE(scripts.size(), 4u);
  EXPECT_EQ(scripts.front(), "window.__veskEngine=[];");
  EXPECT_EQ(scripts.back(), "window.vesk && window.vesk.runEngine(\"diagrams\");");
  const std::string head = "window.__veskEngine.push(";
  std::string rebuilt;
  for (std::size_t i = 1; i + 1 < scripts.size(); ++i) {
    ASSERT_EQ(scripts[i].rfind(head, 0), 0u);
    JsonValue piece;
    ASSERT_TRUE(parse_json(scripts[i].substr(head.size(), scripts[i].size() - head.size() - 2), piece));
    rebuilt += piece.as_string();
  }
  EXPECT_EQ(rebuilt, text);
  // A missing file still ends the page's wait.
  EXPECT_EQ(engine_injection_scripts("diagrams", "").size(), 2u);
}

TEST(PageMessages, OnlyTheCurrentLoadOfTheEditorPageIsHeard) {
  const char* page = "file:///C:/d%20x/.vesk-preview-1.html?g3#g3";
  struct Case {
    const char* source;
    std::int32_t generation;
    bool accepted;
  };
  const Case cases[] = {
      {"file:///C:/d%20x/.vesk-preview-1.html?g3#g3", 3, true},
      // The control may escape differently and fold the drive letter.
      {"file:///c:/d x/.vesk-preview-1.html?g3#g3", 3, true},
      {"file:///C:/d%20x/.vesk-preview-1.html?g3#g2", 3, false},
      {"file:///C:/d%20x/.vesk-preview-1.html?g3#g30", 3, false},
      {"file:///C:/d%20x/.vesk-preview-1.html?g3#g03", 3, false},
      {"file:///C:/d%20x/.vesk-preview-1.html?g3#", 3, false},
      {"file:///C:/d%20x/.vesk-preview-1.html?g3#g3#g4", 3, false},
      // Another page, or none, is never the editor.
      {"file:///C:/d%20x/.vesk-preview-1.html?g3", 3, false},
      {"", 3, false},
      {"file:///C:/d%20x/other.html#g3", 3, false},
      {"https://example.com/#g3", 3, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(message_from_current_page(c.source, page, c.generation), c.accepted) << c.source;
  }
  EXPECT_FALSE(message_from_current_page("#g1", "", 1));
}

TEST(PageNavigation, OnlyTheEditorPageMayBeShown) {
  const std::string page = "file:///C:/%E6%96%87/.vesk-preview-7.html#g2";
  EXPECT_TRUE(navigation_allowed("file:///C:/文/.vesk-preview-7.html#g2", page));
  EXPECT_TRUE(navigation_allowed("FILE:///c:/%e6%96%87/.vesk-preview-7.html", page));
  for (const char* uri : {"file:///C:/文/other.html", "file:///C:/文/.vesk-preview-7.html?x",
                          "file://host/share/.vesk-preview-7.html", "https://example.com/",
                          "javascript:alert(1)", "about:blank", ""}) {
    EXPECT_FALSE(navigation_allowed(uri, page)) << uri;
  }
  EXPECT_FALSE(navigation_allowed("about:blank", ""));

  EXPECT_EQ(new_window_message("https://example.com/a?b=\"c\""),
            R"({"type":"openLink","href":"https://example.com/a?b=\"c\""})");
  EXPECT_EQ(new_window_message("HTTP://x/"), R"({"type":"openLink","href":"HTTP://x/"})");
  for (const char* uri : {"file://host/share/x", "javascript:1", "about:blank", "", "ms-settings:x"}) {
    EXPECT_EQ(new_window_message(uri), "") << uri;
  }
}

}  // namespace
}  // namespace vesk
