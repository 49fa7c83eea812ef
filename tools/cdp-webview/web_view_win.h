// The web view over one page session: navigation, scripts, messages both
// ways, screenshots and printing to PDF, each a DevTools call.
#pragma once

#include <memory>

#include "page_session_win.h"
#include "webhost/webview2_api.h"

namespace vesk::cdp {

// A new web view holding the caller's reference; it names itself in the
// session's web_view while it lives.
ICoreWebView2* new_web_view(std::shared_ptr<PageSession> session);

}  // namespace vesk::cdp
