#include "recording_web_host.h"

#include <cstdio>
#include <fstream>

#include "core/paths.h"

namespace vesk::win {

namespace testing {
WebHostRecord& web_host_record() {
  static WebHostRecord record;
  return record;
}
}  // namespace testing

struct WebHostView::State {};

WebHostView::WebHostView(HWND, PageLoaded, PageMessage, Accelerator) {
  testing::web_host_record() = {};
}
WebHostView::~WebHostView() = default;

void WebHostView::close() {
  auto& record = testing::web_host_record();
  const bool first = !record.closed;
  record.closed = true;
  if (!first || !record.pump_on_close) return;
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}
void WebHostView::resize(int, int) {}
void WebHostView::focus() {}
void WebHostView::navigate_editor_page(const std::string& folder) {
  testing::web_host_record().navigations.push_back(folder);
}
void WebHostView::set_page_theme(const std::string& theme) {
  testing::web_host_record().page_theme = theme;
}
void WebHostView::run_script(const std::string& script) {
  testing::web_host_record().scripts.push_back(script);
}
void WebHostView::set_markdown(const std::string& markdown) {
  testing::web_host_record().markdown.push_back(markdown);
}
void WebHostView::evaluate_script_result(const std::string& script, ScriptResult callback) {
  auto& record = testing::web_host_record();
  record.evaluated.push_back(script);
  if (callback) callback(record.evaluate_ok, record.evaluate_result);
}
void WebHostView::capture_preview(const std::string&, Done callback) {
  if (callback) callback(false);
}
void WebHostView::print_to_pdf(const std::string& path, double scale, Done callback) {
  auto& record = testing::web_host_record();
  char scale_text[32];
  std::snprintf(scale_text, sizeof scale_text, "%g", scale);
  record.printed.push_back(path + " scale=" + scale_text);
  if (record.hold_print) {
    record.held_print = std::move(callback);
    return;
  }
  bool ok = record.print_ok;
  if (ok) {
    std::ofstream out(to_fs_path(path), std::ios::binary);
    out << record.print_bytes;
    ok = out.good();
  }
  if (callback) callback(ok);
}
HWND WebHostView::web_control_window() const { return nullptr; }

}  // namespace vesk::win
