// WebHostView: the web control that fills the main window, the editor page
// it shows, and the two channels between native code and the page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vesk::win {

class WebHostView {
 public:
  using PageLoaded = std::function<void()>;
  using PageMessage = std::function<void(std::string_view json)>;
  // Virtual-key code, modifier mask (Ctrl 0x08, Shift 0x04, Alt 0x10) and
  // whether it is the key's auto-repeat; true when the key was handled and
  // must not reach the page.
  using Accelerator = std::function<bool(std::uint32_t key, std::uint16_t modifiers, bool repeat)>;
  using ScriptResult = std::function<void(bool ok, const std::string& json)>;
  using Done = std::function<void(bool ok)>;

  // Starts loading the web control; returns before it exists.
  WebHostView(HWND parent, PageLoaded on_page_loaded, PageMessage on_page_message,
              Accelerator on_accelerator);
  ~WebHostView();
  WebHostView(const WebHostView&) = delete;
  WebHostView& operator=(const WebHostView&) = delete;

  // Tears the control down; callbacks still in flight are dropped.
  void close();
  void resize(int width, int height);
  void focus();

  // Loads the editor page for a document folder (empty: none), now or as
  // soon as the control exists.
  void navigate_editor_page(const std::string& folder);
  // The theme pages loaded from now on show from their first paint.
  void set_page_theme(const std::string& theme);
  // Runs a script in the page without waiting for it.
  void run_script(const std::string& script);
  // Hands the document text to the page's setMarkdown, whatever its size.
  void set_markdown(const std::string& markdown);
  void evaluate_script_result(const std::string& script, ScriptResult callback);
  // Writes a PNG picture of the page.
  void capture_preview(const std::string& path, Done callback);
  void print_to_pdf(const std::string& path, double scale, Done callback);

  // The child window that receives drops, or null while there is none.
  HWND web_control_window() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vesk::win
