#include "app/shell_host.h"

#include "webhost/web_host_view.h"
#include "platform/diagnostics.h"
#include "app/main_window.h"

namespace vesk::win {

void ShellHost::run_script(const std::string& script) {
  if (WebHostView* web = window_->web_host()) web->run_script(script);
}
void ShellHost::reload_page(const std::string& base_dir) {
  if (WebHostView* web = window_->web_host()) web->navigate_editor_page(base_dir);
}
void ShellHost::load_markdown(const std::string& markdown) {
  if (WebHostView* web = window_->web_host()) web->set_markdown(markdown);
}
void ShellHost::clipboard_write(const std::string& text, const std::string& html) {
  window_->clipboard_write(text, html);
}
void ShellHost::read_clipboard_text(std::string& text) { window_->read_clipboard_text(text); }
bool ShellHost::read_clipboard_image(std::vector<unsigned char>& bytes, std::string& mime) {
  return window_->read_clipboard_image(bytes, mime);
}
void ShellHost::open_link(const std::string& href) { window_->open_link(href); }
void ShellHost::save_document(const std::string& markdown) { window_->save_document(markdown); }
void ShellHost::open_document_dialog() { window_->open_with_dialog(); }
void ShellHost::load_dropped_document(const std::string&, const std::string& text) {
  window_->load_dropped_document(text);
}
void ShellHost::export_html(const std::string& html) { window_->export_html(html); }
void ShellHost::export_pdf(const std::string& path) { window_->export_pdf_requested(path); }
void ShellHost::report_error(const std::string& message) { window_->set_status(message); }
void ShellHost::open_path(const std::string& path) { window_->open_path_requested(path); }
void ShellHost::set_status(const std::string& text) { window_->set_status(text); }
void ShellHost::front_end_error(const std::string& message) { window_->front_end_error(message); }
void ShellHost::page_ready() { window_->on_page_ready(); }
void ShellHost::dirty_changed(bool dirty) { window_->on_dirty_changed(dirty); }
void ShellHost::view_state(const ViewState& state) { window_->on_view_state(state); }

void ShellHost::stats(std::int32_t cjk, std::int32_t words) {
  if (!keylog_enabled()) return;
  write_diagnostic_line("NATIVE stats cjk=" + std::to_string(cjk) +
                        " words=" + std::to_string(words));
}

void ShellHost::page_log(const std::string& message) {
  if (keylog_enabled()) write_diagnostic_line("JSLOG " + message);
}

void ShellHost::backup_text(const std::string& markdown) { window_->backup_text(markdown); }

}  // namespace vesk::win
