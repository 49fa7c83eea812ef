// The export commands on a real main window: HTML written with its images
// inside, the PDF chain against a recording web host whose page and printer
// answer as the test says, and the texts the user sees.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <utility>

#include "core/json.h"
#include "core/paths.h"
#include "dialog_watcher.h"
#include "export/pdf_export.h"
#include "recording_web_host.h"
#include "temp_folder.h"
#include "test_env.h"
#include "platform/dialogs.h"
#include "app/main_window.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

using vesk::testing::set_env;
using vesk::testing::read_all;

namespace fs = std::filesystem;
using testing::web_host_record;

constexpr int kExportPdfCommand = 6;

bool exists(const std::string& path) { return fs::exists(to_fs_path(path)); }

class Export : public ::testing::Test {
 protected:
  vesk::testing::TempFolder temp{"vesk-export-"};
  std::string log_path = temp.utf8() + "\\vesk.log";
  std::unique_ptr<VeskMainWindow> window;

  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    set_env(L"VESK_LOG", log_path);
    window = std::make_unique<VeskMainWindow>(GetModuleHandleW(nullptr));
    ASSERT_TRUE(window->create_window());
  }

  void TearDown() override {
    if (IsWindow(window->window())) {
      set_env(L"VESK_ANSWER", "discard");
      SendMessageW(window->window(), WM_CLOSE, 0, 0);
    }
    window->run_message_loop();
    window.reset();
    for (const wchar_t* name : {L"VESK_LOG", L"VESK_ANSWER", L"VESK_EXPORT_AS", L"VESK_EXPORT_PROMPT",
                                L"VESK_PDF_AS", L"VESK_PDF_PROMPT"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
    CoUninitialize();
  }

  // Opens `name` in the temporary folder, holding `text`, and lets the page
  // report ready.
  std::string open_document(const std::string& name, const std::string& text = "# 标题\n") {
    const std::string path = temp.write(name, text);
    window->open_document(path);
    window->core()->handle_page_message(R"({"type":"ready"})");
    return path;
  }

  std::vector<std::string> log_lines(std::string_view prefix) const {
    std::vector<std::string> lines;
    const std::string all = exists(log_path) ? read_all(log_path) : std::string();
    std::size_t start = 0;
    while (start < all.size()) {
      std::size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      const std::string line = all.substr(start, end - start);
      if (line.starts_with(prefix)) lines.push_back(line);
      start = end + 1;
    }
    return lines;
  }

  // The last status text the page was given.
  std::string last_status() const {
    const std::string prefix = "window.vesk && window.vesk.setStatus(";
    for (auto it = web_host_record().scripts.rbegin(); it != web_host_record().scripts.rend(); ++it) {
      if (it->starts_with(prefix)) {
        JsonValue value;
        const std::string literal = it->substr(prefix.size(), it->size() - prefix.size() - 2);
        if (parse_json(literal, value) && value.is_string()) return value.as_string();
      }
    }
    return window->pending_status();
  }
};

TEST_F(Export, HtmlCarriesItsImagesAndCountsTheMissingOne) {
  temp.write("a.png", "\x89PNG\r\n\x1a\nfirst image");
  temp.write("b c.gif", "GIF89a second image");
  open_document("notes.final.md");
  const std::string target = temp.utf8() + "\\report";
  set_env(L"VESK_EXPORT_AS", target);
  window->export_html("<h1>T</h1><img src=\"a.png\"><img src=\"b%20c.gif\"><img src=\"gone.png\">");

  const std::string written = read_all(target + ".html");
  EXPECT_EQ(written, "<h1>T</h1><img src=\"data:image/png;base64,iVBORw0KGgpmaXJzdCBpbWFnZQ==\">"
                     "<img src=\"data:image/gif;base64,R0lGODlhIHNlY29uZCBpbWFnZQ==\">"
                     "<span class=\"vesk-img-missing\">[图片缺失] gone.png</span>");
  EXPECT_EQ(log_lines("NATIVE export"),
            std::vector<std::string>{"NATIVE export path=" + target + ".html missing=1"});
  EXPECT_EQ(last_status(), "已导出到 " + target + ".html（1 张图片缺失）");

  // A name that has an extension keeps it; nothing missing, nothing said of it.
  set_env(L"VESK_EXPORT_AS", target + ".htm");
  window->export_html("<p>x</p>");
  EXPECT_EQ(read_all(target + ".htm"), "<p>x</p>");
  EXPECT_EQ(last_status(), "已导出到 " + target + ".htm");
}

TEST_F(Export, HtmlPromptOnlyNamesTheSuggestedFile) {
  const std::string doc = open_document("notes.final.md");
  set_env(L"VESK_EXPORT_PROMPT", "1");
  set_env(L"VESK_EXPORT_AS", temp.utf8() + "\\never.html");
  window->export_html("<p>x</p>");
  EXPECT_EQ(log_lines("NATIVE export"),
            std::vector<std::string>{"NATIVE export suggested=" + temp.utf8() + "\\notes.final.html"});
  EXPECT_FALSE(exists(temp.utf8() + "\\never.html"));

  // Untitled and without a folder: the Documents folder.
  window->start_new_document();
  window->load_dropped_document("# 拖入\n");
  window->export_html("<p>x</p>");
  EXPECT_EQ(log_lines("NATIVE export").back(),
            "NATIVE export suggested=" + default_document_folder() + "\\未命名.html");
}

TEST_F(Export, HtmlFailuresAreShownAndWriteNothing) {
  open_document("a.md");
  window->export_html("");
  EXPECT_EQ(last_status(), "导出失败：页面没有返回内容");

  vesk::testing::DialogWatcher watcher(vesk::testing::DialogWatcher::press(IDOK));
  const std::string unwritable = temp.utf8() + "\\no\\such\\folder\\x.html";
  set_env(L"VESK_EXPORT_AS", unwritable);
  window->export_html("<p>x</p>");
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].caption, L"导出失败");
  EXPECT_TRUE(answered[0].shows(to_utf16("无法写入文件：\n" + unwritable)));
  EXPECT_TRUE(log_lines("NATIVE export").empty());
}

TEST_F(Export, PdfIsPrintedAtTheScaleOfTheContentAndReported) {
  open_document("a.md");
  web_host_record().evaluate_ok = true;
  web_host_record().evaluate_result = "{\"w\":1316,\"h\":2000}";
  web_host_record().print_ok = true;
  const std::string target = temp.utf8() + "\\out";
  set_env(L"VESK_PDF_AS", target);
  window->run_command(kExportPdfCommand);

  EXPECT_EQ(web_host_record().printed, std::vector<std::string>{target + ".pdf scale=0.5"});
  // Asked first whether diagrams are still being drawn; the recording host says no.
  EXPECT_EQ(web_host_record().evaluated,
            (std::vector<std::string>{std::string(kPdfPendingScript), std::string(kPdfBeginScript),
                                      std::string(kPdfEndScript)}));
  EXPECT_EQ(log_lines("NATIVE pdf"), std::vector<std::string>{"NATIVE pdf path=" + target + ".pdf size=8"});
  EXPECT_EQ(last_status(), "已导出到 " + target + ".pdf");
}

TEST_F(Export, PdfWhilePrintingIsRefusedAndLeavesThePrintAlone) {
  open_document("a.md");
  web_host_record().evaluate_ok = true;
  web_host_record().evaluate_result = "{\"w\":1316,\"h\":2000}";
  web_host_record().print_ok = true;
  web_host_record().hold_print = true;
  const std::string target = temp.utf8() + "\\out.pdf";
  set_env(L"VESK_PDF_AS", target);
  window->run_command(kExportPdfCommand);
  window->run_command(kExportPdfCommand);
  // The second neither prints nor restores the page under the first print.
  EXPECT_EQ(web_host_record().printed.size(), 1u);
  EXPECT_EQ(web_host_record().evaluated,
            (std::vector<std::string>{std::string(kPdfPendingScript), std::string(kPdfBeginScript)}));
  EXPECT_EQ(log_lines("NATIVE pdf"), std::vector<std::string>{"NATIVE pdf busy"});
  EXPECT_EQ(last_status(), "正在导出 PDF，请稍候");

  web_host_record().hold_print = false;
  std::exchange(web_host_record().held_print, nullptr)(true);
  window->run_command(kExportPdfCommand);  // free again
  EXPECT_EQ(web_host_record().printed.size(), 2u);
  EXPECT_EQ(log_lines("NATIVE pdf").size(), 3u);
}

TEST_F(Export, PdfFailureRemovesTheOldFileAndIsShown) {
  open_document("a.md");
  const std::string target = temp.write("old.pdf", "an older export");
  web_host_record().evaluate_ok = true;
  web_host_record().evaluate_result = "\"{\\\"w\\\":600,\\\"h\\\":800}\"";
  web_host_record().print_ok = false;
  set_env(L"VESK_PDF_AS", target);
  vesk::testing::DialogWatcher watcher(vesk::testing::DialogWatcher::press(IDOK));
  window->run_command(kExportPdfCommand);

  EXPECT_FALSE(exists(target));
  EXPECT_EQ(web_host_record().printed, std::vector<std::string>{target + " scale=1"});
  EXPECT_EQ(log_lines("NATIVE pdf"), std::vector<std::string>{"NATIVE pdf failed 导出失败：无法生成 PDF"});
  EXPECT_EQ(last_status(), "导出失败：无法生成 PDF");
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].caption, L"导出失败");
  EXPECT_TRUE(answered[0].shows(L"导出失败：无法生成 PDF"));
}

TEST_F(Export, PdfPromptAndTheUntitledDocument) {
  open_document("a.md");
  set_env(L"VESK_PDF_PROMPT", "1");
  window->run_command(kExportPdfCommand);
  EXPECT_EQ(log_lines("NATIVE pdf"), std::vector<std::string>{"NATIVE pdf suggested=" + temp.utf8() + "\\a.pdf"});
  EXPECT_TRUE(web_host_record().evaluated.empty());

  // Untitled: saved first, exported once the save has succeeded and the
  // page has come back.
  set_env(L"VESK_PDF_PROMPT", "");
  window->start_new_document();
  window->core()->handle_page_message(R"({"type":"ready"})");
  web_host_record().evaluate_ok = true;
  web_host_record().evaluate_result = "{\"w\":658,\"h\":10}";
  web_host_record().print_ok = true;
  const std::string saved = temp.utf8() + "\\sub\\untitled.md";
  fs::create_directory(to_fs_path(temp.utf8() + "\\sub"));
  set_env(L"VESK_SAVE_AS", saved);
  set_env(L"VESK_PDF_AS", temp.utf8() + "\\sub\\u.pdf");
  window->run_command(kExportPdfCommand);
  EXPECT_TRUE(web_host_record().printed.empty());
  window->core()->handle_page_message(R"({"type":"save","text":"# 新文档\n"})");
  EXPECT_EQ(read_all(saved), "# 新文档\n");
  window->core()->handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(web_host_record().printed, std::vector<std::string>{temp.utf8() + "\\sub\\u.pdf scale=1"});
  EXPECT_EQ(log_lines("NATIVE pdf").back(), "NATIVE pdf path=" + temp.utf8() + "\\sub\\u.pdf size=8");
  SetEnvironmentVariableW(L"VESK_SAVE_AS", nullptr);
}

}  // namespace
}  // namespace vesk::win
