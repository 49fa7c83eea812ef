// DevTools messages, the discovery answer, print parameters, and the rules
// between Windows and Unix file URLs.
#include <gtest/gtest.h>

#include "core/json.h"
#include "devtools_protocol.h"
#include "path_mapping.h"

namespace vesk::cdp {
namespace {

TEST(CdpMessages, Commands) {
  EXPECT_EQ(cdp_command(7, "Page.navigate", R"({"url":"file:///x"})", "S1"),
            R"({"id":7,"method":"Page.navigate","sessionId":"S1","params":{"url":"file:///x"}})");
  EXPECT_EQ(cdp_command(1, "Browser.getVersion", ""), R"({"id":1,"method":"Browser.getVersion","params":{}})");
}

TEST(CdpMessages, ResponsesEventsAndErrors) {
  CdpMessage m;
  ASSERT_TRUE(parse_cdp_message(R"({"id":3,"result":{"loaderId":"L"},"sessionId":"S"})", m));
  EXPECT_EQ(m.id, 3);
  EXPECT_FALSE(m.failed);
  EXPECT_EQ(m.session_id, "S");
  EXPECT_EQ(m.body.get_string("loaderId", ""), "L");

  ASSERT_TRUE(parse_cdp_message(R"({"id":4,"error":{"code":-32000,"message":"No target"}})", m));
  EXPECT_TRUE(m.failed);
  EXPECT_EQ(m.error, "No target");

  ASSERT_TRUE(parse_cdp_message(
      R"({"method":"Runtime.bindingCalled","params":{"name":"b","payload":"{}"},"sessionId":"S"})", m));
  EXPECT_EQ(m.id, 0);
  EXPECT_EQ(m.method, "Runtime.bindingCalled");
  EXPECT_EQ(m.body.get_string("payload", ""), "{}");

  const char* rejected[] = {"", "[]", "{}", R"({"id":0})", R"({"id":-1})", R"({"id":1.5})", R"({"params":{}})"};
  for (const char* text : rejected) EXPECT_FALSE(parse_cdp_message(text, m)) << text;
}

TEST(CdpMessages, BrowserEndpoint) {
  BrowserEndpoint e;
  ASSERT_TRUE(parse_browser_endpoint(
      R"({"Browser":"Chrome/156.0.1","webSocketDebuggerUrl":"ws://127.0.0.1:9333/devtools/browser/ab-cd"})", e));
  EXPECT_EQ(e.browser, "Chrome/156.0.1");
  EXPECT_EQ(e.host_and_port, "127.0.0.1:9333");
  EXPECT_EQ(e.path, "/devtools/browser/ab-cd");
  EXPECT_FALSE(parse_browser_endpoint(R"({"webSocketDebuggerUrl":"wss://h/x"})", e));
  EXPECT_FALSE(parse_browser_endpoint(R"({"webSocketDebuggerUrl":"ws:///x"})", e));
  EXPECT_FALSE(parse_browser_endpoint("not json", e));
}

TEST(CdpMessages, EvaluateParametersCarryTheScriptIntact) {
  const std::string script = "window.vesk && window.vesk.setMarkdown(\"a\\\"b\\n\u2028\");";
  JsonValue plain;
  ASSERT_TRUE(parse_json(evaluate_params(script), plain));
  EXPECT_EQ(plain.get_string("expression", ""), script);
  EXPECT_FALSE(plain.get_bool("returnByValue", true));

  JsonValue wrapped;
  ASSERT_TRUE(parse_json(evaluate_for_json_params(script), wrapped));
  EXPECT_TRUE(wrapped.get_bool("returnByValue", false));
  const std::string expression = wrapped.get_string("expression", "");
  // The script travels as a string literal inside the wrapper.
  EXPECT_NE(expression.find("(0,eval)(" + json_quote(script) + ")"), std::string::npos);
}

TEST(CdpMessages, PrintParameters) {
  PrintOptions a4;
  a4.page_width = 8.27;
  a4.page_height = 11.69;
  a4.margin_left = a4.margin_right = 0.7083333333333334;
  a4.margin_top = a4.margin_bottom = 0.7875000000000001;
  a4.scale = 0.5;
  a4.backgrounds = true;
  JsonValue p;
  ASSERT_TRUE(parse_json(print_to_pdf_params(a4), p));
  EXPECT_EQ(p.get_number("paperWidth", 0), 8.27);
  EXPECT_EQ(p.get_number("paperHeight", 0), 11.69);
  EXPECT_EQ(p.get_number("marginLeft", 0), 0.7083333333333334);
  EXPECT_EQ(p.get_number("marginTop", 0), 0.7875000000000001);
  EXPECT_EQ(p.get_number("scale", 0), 0.5);
  EXPECT_TRUE(p.get_bool("printBackground", false));
  EXPECT_FALSE(p.get_bool("displayHeaderFooter", true));
  EXPECT_FALSE(p.get_bool("preferCSSPageSize", true));
}

TEST(FileUrls, WindowsPaths) {
  struct Case {
    const char* url;
    bool ok;
    const char* path;
    const char* suffix;
  };
  const Case cases[] = {
      {"file:///C:/Users/me/doc/.vesk-preview-12.html#g3", true, "C:\\Users\\me\\doc\\.vesk-preview-12.html", "#g3"},
      {"file:///Z:/tmp/a%20b/%E4%B8%AD.html", true, "Z:\\tmp\\a b\\中.html", ""},
      {"FILE:///c|/x?q=1#f", true, "c:\\x", "?q=1#f"},
      {"file:///C:", true, "C:\\", ""},
      {"file://server/share/x.md", true, "\\\\server\\share\\x.md", ""},
      {"file:///tmp/x", false, "", ""},
      {"https://example.com/", false, "", ""},
      {"about:blank", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string path, suffix;
    EXPECT_EQ(windows_path_from_file_url(c.url, path, suffix), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(path, c.path) << c.url;
    EXPECT_EQ(suffix, c.suffix) << c.url;
  }
}

TEST(FileUrls, UnixPathsBothWays) {
  struct Case {
    const char* path;
    const char* suffix;
    const char* url;
  };
  const Case cases[] = {
      {"/tmp/x.html", "#g1", "file:///tmp/x.html#g1"},
      {"/tmp/a b/100%/#?.md", "", "file:///tmp/a%20b/100%25/%23%3F.md"},
      {"/home/用户/c:/d", "?x", "file:///home/%E7%94%A8%E6%88%B7/c:/d?x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(file_url_from_unix_path(c.path, c.suffix), c.url);
    std::string path, suffix;
    ASSERT_TRUE(unix_path_from_file_url(c.url, path, suffix)) << c.url;
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(suffix, c.suffix);
  }
  std::string path, suffix;
  EXPECT_FALSE(unix_path_from_file_url("file://host/x", path, suffix));
  EXPECT_FALSE(unix_path_from_file_url("http://x/", path, suffix));
}

TEST(PageShim, CarriesBindingAndDriveRoots) {
  const std::string script =
      page_shim_script("__bind", {{'C', "/home/u/.wine/dosdevices/c:/"}, {'Z', "/"}});
  EXPECT_NE(script.find(R"(var B="__bind",R={"c":"file:///home/u/.wine/dosdevices/c:/","z":"file:///"})"),
            std::string::npos);
  EXPECT_NE(script.find("Object.defineProperty(window.chrome, 'webview'"), std::string::npos);
}

}  // namespace
}  // namespace vesk::cdp
