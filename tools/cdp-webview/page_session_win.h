// One page of the browser behind a controller and its web view: the
// DevTools session, the navigation under way, the registered handlers, and
// the events raised to them. UI thread only.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cdp_connection_win.h"
#include "control_rules_win.h"
#include "event_registrations_win.h"
#include "navigation_events_win.h"
#include "window_embedding_win.h"
#include "webhost/webview2_api.h"

namespace vesk::cdp {

// True when the browser runs with a display (VESK_CDP_VISIBLE): its page is
// then an app window that we hold inside the host window.
bool visible_browser();

struct PageSession : std::enable_shared_from_this<PageSession> {
  std::shared_ptr<CdpConnection> connection;
  std::string target_id;
  std::string session_id;
  HWND parent = nullptr;
  RECT bounds{};
  bool shown = true;
  // The browser's app window inside the host, with a display.
  std::unique_ptr<EmbeddedBrowserWindow> embedded;
  bool ready = false;
  bool closed = false;
  // The COM faces, not owned: they clear these when they go.
  ICoreWebView2* web_view = nullptr;
  ICoreWebView2Controller* controller = nullptr;
  Handlers<ICoreWebView2WebMessageReceivedEventHandler> message_handlers;
  Handlers<ICoreWebView2NavigationCompletedEventHandler> navigation_handlers;
  Handlers<ICoreWebView2AcceleratorKeyPressedEventHandler> accelerator_handlers;
  NavigationEvents navigation_events;
  LateMessages late_messages;
  // The real control prints one page at a time.
  bool printing = false;
  // While the page stands still at an accelerator key, scripts the host runs
  // after its handler returned wait for it to go on (such a script cannot use
  // the page inside the stop), in the order they came.
  bool stopped_for_key = false;
  bool in_key_handler = false;  // the host's AcceleratorKeyPressed handler is running
  std::vector<std::function<void()>> held_scripts;
  void run_script(std::function<void()> send_script);
  void go_on_after_key();

  struct Navigation {
    UINT64 id = 0;
    std::string loader_id;
  };
  std::optional<Navigation> navigation;
  UINT64 next_navigation_id = 1;
  std::string last_loaded_loader;
  std::wstring source;
  // Unix page URLs (without query or fragment) back to the Windows URLs the
  // caller navigated to, so message sources read as the caller expects.
  std::vector<std::pair<std::string, std::string>> windows_urls;

  void send(const char* method, std::string params, CdpConnection::Reply reply = nullptr,
            std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    connection->send(method, std::move(params), session_id, std::move(reply), timeout);
  }
  void send(const char* method, CdpConnection::Params params, CdpConnection::Reply reply = nullptr,
            std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    connection->send(method, std::move(params), session_id, std::move(reply), timeout);
  }

  void apply_bounds();
  void place_window();
  // Always raised from the mailbox, never inside the call that caused it.
  void complete_navigation(UINT64 id, bool success, COREWEBVIEW2_WEB_ERROR_STATUS status);
  std::string caller_url_for(const std::string& page_url) const;
  void raise_web_message(const std::string& page_url, const std::string& json);
  // Raises AcceleratorKeyPressed; true when a handler set Handled.
  bool raise_accelerator(UINT key, bool up, bool ctrl, bool shift, bool alt, bool repeat);
  // The page stopped at a `debugger`: for an accelerator key of ours, asks
  // the host and hands its answer back; any other stop just goes on.
  void on_paused(const JsonValue& paused);
  void on_binding(const std::string& payload);
  void on_event(CdpMessage& event);
  HRESULT navigate(LPCWSTR uri);
  void close();
};

}  // namespace vesk::cdp
