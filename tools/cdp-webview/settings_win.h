// The web view's settings: flags kept as set, none of them acted on, since the
// page the web host loads decides nothing by them.
#pragma once

#include "webhost/webview2_api.h"

namespace vesk::cdp {

// A new settings object holding the caller's reference.
ICoreWebView2Settings* new_settings();

}  // namespace vesk::cdp
