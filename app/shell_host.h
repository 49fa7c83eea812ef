// ShellHost: the editor core's EditorHost on Windows. Every operation only
// forwards to the main window or its web host.
#pragma once

#include "core/editor_host.h"

namespace vesk::win {

class VeskMainWindow;

class ShellHost final : public EditorHost {
 public:
  explicit ShellHost(VeskMainWindow* window) : window_(window) {}

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

 private:
  VeskMainWindow* window_;  // not owned; outlives the adapter
};

}  // namespace vesk::win
