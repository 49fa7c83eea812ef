// Print settings as the real control keeps them (with its ranges and
// defaults), and the DevTools print options they stand for.
#pragma once

#include "devtools_protocol.h"
#include "webhost/webview2_api.h"

namespace vesk::cdp {

// A new print settings object holding the caller's reference.
ICoreWebView2PrintSettings* new_print_settings();

// Read through the public interface, so settings made by anyone print alike.
PrintOptions print_options_from(ICoreWebView2PrintSettings* settings);

}  // namespace vesk::cdp
