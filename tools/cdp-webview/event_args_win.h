// The arguments of the three events the web host listens to. Each is a new
// object holding one reference, the caller's.
#pragma once

#include <windows.h>

#include <string>

#include "webhost/webview2_api.h"

namespace vesk::cdp {

ICoreWebView2WebMessageReceivedEventArgs* new_web_message_args(std::wstring source, std::wstring json);
ICoreWebView2NavigationCompletedEventArgs* new_navigation_args(bool success, COREWEBVIEW2_WEB_ERROR_STATUS status,
                                                               UINT64 id);
ICoreWebView2AcceleratorKeyPressedEventArgs* new_accelerator_args(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT key,
                                                                  bool repeat);

}  // namespace vesk::cdp
