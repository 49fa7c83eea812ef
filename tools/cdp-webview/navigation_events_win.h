// NavigationStarting and NewWindowRequested of one page, raised from what
// Chromium really does: document requests of the main frame held at the
// DevTools Fetch domain until the handlers decide, and Page.windowOpen for
// every window the page asks for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cdp_connection_win.h"
#include "webhost/webview2_api.h"
#include "platform/com.h"

namespace vesk::cdp {

class NavigationEvents {
 public:
  // Maps a browser URL back to the Windows URL the caller knows.
  using CallerUrl = std::function<std::string(const std::string& page_url)>;

  // The Fetch.enable parameters that hold every document request.
  static const char* fetch_patterns();

  HRESULT add_starting(ICoreWebView2NavigationStartingEventHandler* handler, EventRegistrationToken* token);
  void remove_starting(EventRegistrationToken token);
  HRESULT add_new_window(ICoreWebView2NewWindowRequestedEventHandler* handler, EventRegistrationToken* token);
  void remove_new_window(EventRegistrationToken token);
  void clear();

  // Fetch.requestPaused: the main frame's navigations ask the handlers; the
  // request goes on or is aborted as they say. Everything else goes on.
  void on_request_paused(CdpMessage& event, ICoreWebView2* sender, const std::string& target_id,
                         const std::shared_ptr<CdpConnection>& connection, const std::string& session_id,
                         const CallerUrl& caller_url);
  // Page.windowOpen: the handlers hear of it; when one handled it, the window
  // Chromium opened for the page is closed again.
  void on_window_open(CdpMessage& event, ICoreWebView2* sender, const std::string& target_id,
                      const std::shared_ptr<CdpConnection>& connection);

 private:
  template <typename Handler>
  using List = std::vector<std::pair<std::int64_t, win::ComPtr<Handler>>>;
  List<ICoreWebView2NavigationStartingEventHandler> starting_;
  List<ICoreWebView2NewWindowRequestedEventHandler> new_window_;
  std::uint64_t next_navigation_id_ = 1;
};

}  // namespace vesk::cdp
