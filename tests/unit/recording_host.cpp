#include "recording_host.h"

#include <cstdio>

namespace vesk::testing {

std::vector<std::string> RecordingHost::calls_starting_with(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& call : calls) {
    if (call.compare(0, prefix.size(), prefix) == 0) matching.push_back(call);
  }
  return matching;
}

void RecordingHost::run_script(const std::string& script) { calls.push_back("run_script " + script); }
void RecordingHost::reload_page(const std::string& dir) { calls.push_back("reload_page " + dir); }
void RecordingHost::load_markdown(const std::string& markdown) {
  calls.push_back("load_markdown " + markdown);
}
void RecordingHost::clipboard_write(const std::string& text, const std::string& html) {
  calls.push_back("clipboard_write " + text + " | " + html);
}
void RecordingHost::read_clipboard_text(std::string& text) {
  calls.push_back("read_clipboard_text");
  text = clipboard_text;
}
bool RecordingHost::read_clipboard_image(std::vector<unsigned char>& bytes, std::string& mime) {
  calls.push_back("read_clipboard_image");
  if (!clipboard_has_image) return false;
  bytes = clipboard_image;
  mime = clipboard_mime;
  return true;
}
void RecordingHost::open_link(const std::string& href) { calls.push_back("open_link " + href); }
void RecordingHost::save_document(const std::string& markdown) {
  calls.push_back("save_document " + markdown);
}
void RecordingHost::open_document_dialog() { calls.push_back("open_document_dialog"); }
void RecordingHost::load_dropped_document(const std::string& name, const std::string& text) {
  calls.push_back("load_dropped_document " + name + " | " + text);
}
void RecordingHost::export_html(const std::string& html) { calls.push_back("export_html " + html); }
void RecordingHost::export_pdf(const std::string& path) { calls.push_back("export_pdf " + path); }
void RecordingHost::report_error(const std::string& message) {
  calls.push_back("report_error " + message);
}
void RecordingHost::open_path(const std::string& path) { calls.push_back("open_path " + path); }
void RecordingHost::set_status(const std::string& text) { calls.push_back("set_status " + text); }
void RecordingHost::front_end_error(const std::string& message) {
  calls.push_back("front_end_error " + message);
}
void RecordingHost::page_ready() {
  calls.push_back("page_ready");
  if (on_page_ready) on_page_ready(core);
}
void RecordingHost::dirty_changed(bool dirty) {
  calls.push_back(dirty ? "dirty_changed true" : "dirty_changed false");
}
void RecordingHost::view_state(const ViewState& state) {
  char line[96];
  std::snprintf(line, sizeof line, "view_state toc=%d source=%d zoom=%g", state.toc ? 1 : 0,
                state.source ? 1 : 0, state.zoom);
  calls.push_back(line);
}
void RecordingHost::stats(std::int32_t cjk, std::int32_t words) {
  calls.push_back("stats cjk=" + std::to_string(cjk) + " words=" + std::to_string(words));
}
void RecordingHost::page_log(const std::string& message) { calls.push_back("page_log " + message); }
void RecordingHost::backup_text(const std::string& markdown) { calls.push_back("backup_text " + markdown); }

}  // namespace vesk::testing
