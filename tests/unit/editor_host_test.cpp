// Page-call texts are a contract with the page: a wrong byte is a script
// error or an injection, so the exact texts are pinned here.
#include "core/editor_host.h"

#include <gtest/gtest.h>

#include "core/paths.h"

namespace vesk {
namespace {

TEST(PageCall, ArgumentForms) {
  EXPECT_EQ(page_call("undo"), "window.vesk && window.vesk.undo();");
  EXPECT_EQ(page_call_bool("clipboardCopy", true), "window.vesk && window.vesk.clipboardCopy(true);");
  EXPECT_EQ(page_call_bool("clipboardCopy", false),
            "window.vesk && window.vesk.clipboardCopy(false);");
  EXPECT_EQ(page_call_int("zoomBy", -1), "window.vesk && window.vesk.zoomBy(-1);");
  EXPECT_EQ(page_call_int("zoomBy", 1), "window.vesk && window.vesk.zoomBy(1);");
  EXPECT_EQ(page_call_int("zoomBy", 0), "window.vesk && window.vesk.zoomBy(0);");
}

TEST(PageCall, TextCannotBreakOutOfItsString) {
  EXPECT_EQ(page_call_string("setStatus", "say \"hi\"\\\n"),
            R"(window.vesk && window.vesk.setStatus("say \"hi\"\\\n");)");
  // A closing script tag or a quote-paren sequence stays inside the literal.
  EXPECT_EQ(page_call_string("setMarkdown", "\");alert(1);//"),
            R"(window.vesk && window.vesk.setMarkdown("\");alert(1);//");)");
  // Non-ASCII text, "/" and U+2028 pass through unescaped.
  EXPECT_EQ(page_call_string("setStatus", "已保存：a/b\xE2\x80\xA8"),
            "window.vesk && window.vesk.setStatus(\"已保存：a/b\xE2\x80\xA8\");");
}

TEST(PageCall, EmbeddedNulAndControlBytesAreEscaped) {
  const std::string text("a\0b\x1f", 4);
  EXPECT_EQ(page_call_string("setMarkdown", text),
            R"(window.vesk && window.vesk.setMarkdown("a\u0000b\u001f");)");
}

TEST(FixedScripts, BaseElement) {
  EXPECT_EQ(base_href_script("file:///C:/My%20Docs%23/"),
            "(function(){var h=document.head;if(!h)return;var b=h.querySelector('base');"
            "if(!b){b=document.createElement('base');h.insertBefore(b,h.firstChild);}"
            "b.href=\"file:///C:/My%20Docs%23/\";})();");
  EXPECT_EQ(base_href_script(directory_file_url("C:\\a'b")),
            "(function(){var h=document.head;if(!h)return;var b=h.querySelector('base');"
            "if(!b){b=document.createElement('base');h.insertBefore(b,h.firstChild);}"
            "b.href=\"file:///C:/a%27b/\";})();");
  EXPECT_EQ(remove_base_script(),
            "(function(){var b=document.querySelector('base');"
            "if(b&&b.parentNode)b.parentNode.removeChild(b);})();");
}

TEST(FixedScripts, PlatformClass) {
  EXPECT_EQ(platform_class_script("win"),
            "(function(){if(document.body)document.body.classList.add('platform-win');})();");
}

}  // namespace
}  // namespace vesk
