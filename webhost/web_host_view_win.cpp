// The web host without a web control: every operation is accepted and does
// nothing, so the window, the documents and the core run on their own. The
// control itself is created here once WebView2 is wired up.
#include "webhost/web_host_view.h"

namespace vesk::win {

struct WebHostView::State {
  HWND parent = nullptr;
  PageLoaded on_page_loaded;
  PageMessage on_page_message;
  Accelerator on_accelerator;
};

WebHostView::WebHostView(HWND parent, PageLoaded on_page_loaded, PageMessage on_page_message,
                         Accelerator on_accelerator)
    : state_(std::make_unique<State>()) {
  state_->parent = parent;
  state_->on_page_loaded = std::move(on_page_loaded);
  state_->on_page_message = std::move(on_page_message);
  state_->on_accelerator = std::move(on_accelerator);
}

WebHostView::~WebHostView() = default;

void WebHostView::close() {}
void WebHostView::resize(int, int) {}
void WebHostView::focus() {}
void WebHostView::navigate_editor_page(const std::string&) {}
void WebHostView::run_script(const std::string&) {}
void WebHostView::set_markdown(const std::string&) {}
void WebHostView::evaluate_script_result(const std::string&, ScriptResult) {}
void WebHostView::capture_preview(const std::string&, Done callback) {
  if (callback) callback(false);
}
void WebHostView::print_to_pdf(const std::string&, double, Done callback) {
  if (callback) callback(false);
}
HWND WebHostView::web_control_window() const { return nullptr; }

}  // namespace vesk::win
