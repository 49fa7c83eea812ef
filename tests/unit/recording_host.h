// An EditorHost that records every call in order, as one readable line each,
// and answers the clipboard readers from scripted values.
#pragma once

#include <string>
#include <vector>

#include "core/editor_core.h"

namespace vesk::testing {

class RecordingHost : public EditorHost {
 public:
  std::vector<std::string> calls;

  // Scripted clipboard.
  std::string clipboard_text;
  bool clipboard_has_image = false;
  std::vector<unsigned char> clipboard_image;
  std::string clipboard_mime;

  // Runs inside page_ready(), as the shell's start-up automation does.
  void (*on_page_ready)(EditorCore*) = nullptr;
  EditorCore* core = nullptr;

  void clear() { calls.clear(); }
  // Only the calls whose line starts with `prefix`.
  std::vector<std::string> calls_starting_with(const std::string& prefix) const;

  void run_script(const std::string& script) override;
  void reload_page(const std::string& base_dir) override;
  void load_markdown(const std::string& markdown) override;
  void clipboard_write(const std::string& text, const std::string& html) override;
  void read_clipboard_text(std::string& text) override;
  bool read_clipboard_image(std::vector<unsigned char>& bytes, std::string& mime) override;
  void open_link(const std::string& href) override;
  void save_document(const std::string& markdown) override;
  void open_document_dialog() override;
  void load_dropped_document(const std::string& name, const std::string& text) override;
  void export_html(const std::string& html) override;
  void export_pdf(const std::string& path) override;
  void report_error(const std::string& message) override;
  void open_path(const std::string& path) override;
  void set_status(const std::string& text) override;
  void front_end_error(const std::string& message) override;
  void page_ready() override;
  void dirty_changed(bool dirty) override;
  void view_state(const ViewState& state) override;
  void stats(std::int32_t cjk, std::int32_t words) override;
  void page_log(const std::string& message) override;
  void backup_text(const std::string& markdown) override;
};

}  // namespace vesk::testing
