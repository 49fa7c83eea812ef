// The editor core's two ways out: the EditorHost interface the platform
// implements, and the page calls (scripts calling window.vesk.* in the page).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// What the page reports about its presentation.
struct ViewState {
  bool toc = false;
  bool source = false;
  double zoom = 1.0;
};

// Implemented by the platform shell. The core holds a non-owning pointer and
// calls it only on the UI thread. The order of the operations is fixed: keep
// new ones at the end.
class EditorHost {
 public:
  virtual ~EditorHost() = default;

  virtual void run_script(const std::string& script) = 0;
  virtual void reload_page(const std::string& base_dir) = 0;
  virtual void load_markdown(const std::string& markdown) = 0;
  virtual void clipboard_write(const std::string& text, const std::string& html) = 0;
  virtual void read_clipboard_text(std::string& text) = 0;
  virtual bool read_clipboard_image(std::vector<unsigned char>& bytes, std::string& mime) = 0;
  virtual void open_link(const std::string& href) = 0;
  virtual void save_document(const std::string& markdown) = 0;
  virtual void open_document_dialog() = 0;
  virtual void load_dropped_document(const std::string& name, const std::string& text) = 0;
  virtual void export_html(const std::string& html) = 0;
  virtual void export_pdf(const std::string& path) = 0;
  virtual void report_error(const std::string& message) = 0;
  virtual void open_path(const std::string& path) = 0;
  virtual void set_status(const std::string& text) = 0;
  virtual void front_end_error(const std::string& message) = 0;
  virtual void page_ready() = 0;
  virtual void dirty_changed(bool dirty) = 0;
  virtual void view_state(const ViewState& state) = 0;
  virtual void stats(std::int32_t cjk, std::int32_t words) = 0;
  virtual void page_log(const std::string& message) = 0;
  // The page's whole text, for the crash backup of unsaved changes.
  virtual void backup_text(const std::string& /*markdown*/) {}
};

// "window.vesk && window.vesk.<function>(<argument>);" The guard makes a call
// harmless on a page that has not defined window.vesk yet.
std::string page_call(std::string_view function);
std::string page_call_bool(std::string_view function, bool argument);
std::string page_call_int(std::string_view function, long long argument);
// The argument is quoted as a JSON string, so no text can break out of it.
std::string page_call_string(std::string_view function, std::string_view argument);

// Points the page's first <base> element at `url`, creating it when missing.
std::string base_href_script(std::string_view url);
// Removes the page's <base> element.
std::string remove_base_script();
// Adds the body class "platform-<name>"; the name is inserted as it is.
std::string platform_class_script(std::string_view name);

}  // namespace vesk
