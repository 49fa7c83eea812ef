// The controller over one page session: bounds, visibility, focus, the
// accelerator keys the page hands back, and closing the page.
#pragma once

#include <memory>

#include "page_session_win.h"
#include "webhost/webview2_api.h"

namespace vesk::cdp {

// A new controller holding the caller's reference, with its web view; it
// closes the page when the last reference goes.
ICoreWebView2Controller* new_controller(std::shared_ptr<PageSession> session);

}  // namespace vesk::cdp
