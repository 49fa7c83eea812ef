// The environment, the first of the WebView2 objects a caller sees. Each
// controller it creates brings up a page of its own in the browser; the
// controller, web view, settings, print settings and event arguments are
// thin COM faces over that one DevTools page session (page_session_win.h).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "cdp_connection_win.h"
#include "webhost/webview2_api.h"

namespace vesk::cdp {

// A new environment over an open connection; the caller owns the reference.
ICoreWebView2Environment* create_environment(std::shared_ptr<CdpConnection> connection,
                                             std::wstring browser_version);

// "Chrome/124.0.6367.60" gives "124.0.6367.60".
std::wstring version_of(const std::string& browser);

}  // namespace vesk::cdp
