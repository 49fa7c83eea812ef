#include "page_session_win.h"

#include <shlwapi.h>

#include <algorithm>
#include <iterator>

#include "core/json.h"
#include "event_args_win.h"
#include "path_mapping.h"
#include "ui_thread_win.h"
#include "webview_support_win.h"
#include "wine_paths_win.h"

namespace vesk::cdp {
bool visible_browser() {
  wchar_t value[4] = {};
  return GetEnvironmentVariableW(L"VESK_CDP_VISIBLE", value, 4) > 0 && value[0] != L'0';
}

void PageSession::place_window() {
  if (embedded && !closed) embedded->place(bounds, shown);
}

void PageSession::apply_bounds() {
  if (!ready || closed) return;
  if (visible_browser()) return place_window();
  const long width = bounds.right - bounds.left;
  const long height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0) return;
  send("Emulation.setDeviceMetricsOverride",
       "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
           ",\"deviceScaleFactor\":1,\"mobile\":false}");
}

void PageSession::complete_navigation(UINT64 id, bool success, COREWEBVIEW2_WEB_ERROR_STATUS status) {
  if (navigation && navigation->id == id) navigation.reset();
  std::weak_ptr<PageSession> weak = weak_from_this();
  UiThread::instance()->post([weak, id, success, status] {
    auto self = weak.lock();
    if (!self || self->closed || !self->web_view) return;
    ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::retain(self->web_view);
    ComPtr<ICoreWebView2NavigationCompletedEventArgs> args(new_navigation_args(success, status, id));
    for (auto& handler : self->navigation_handlers.snapshot()) handler->Invoke(sender.get(), args.get());
  });
}

std::string PageSession::caller_url_for(const std::string& page_url) const {
  std::string unix_path, suffix;
  if (!unix_path_from_file_url(page_url, unix_path, suffix)) return page_url;
  const std::string bare = file_url_from_unix_path(unix_path);
  for (const auto& [unix_url, windows_url] : windows_urls) {
    if (unix_url == bare) return windows_url + suffix;
  }
  const std::wstring windows_path = windows_path_of(unix_path);
  wchar_t url[2048] = {};
  DWORD length = 2048;
  if (windows_path.empty() || FAILED(UrlCreateFromPathW(windows_path.c_str(), url, &length, 0))) return page_url;
  return to_utf8(url) + suffix;
}

void PageSession::raise_web_message(const std::string& page_url, const std::string& json) {
  if (closed || !web_view) return;
  ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::retain(web_view);
  ComPtr<ICoreWebView2WebMessageReceivedEventArgs> args(
      new_web_message_args(to_utf16(caller_url_for(page_url)), to_utf16(json)));
  for (auto& handler : message_handlers.snapshot()) handler->Invoke(sender.get(), args.get());
}

// Keys pressed in a visible browser window never pass through this
// process, so the key state the caller reads is set for the moment.
bool PageSession::raise_accelerator(UINT key, bool up, bool ctrl, bool shift, bool alt, bool repeat) {
  if (closed || !controller) return false;
  BYTE saved[256] = {};
  BYTE state[256] = {};
  GetKeyboardState(saved);
  std::copy(std::begin(saved), std::end(saved), std::begin(state));
  state[VK_CONTROL] = ctrl ? 0x80 : 0;
  state[VK_SHIFT] = shift ? 0x80 : 0;
  state[VK_MENU] = alt ? 0x80 : 0;
  SetKeyboardState(state);
  ComPtr<ICoreWebView2Controller> sender = ComPtr<ICoreWebView2Controller>::retain(controller);
  // Alt, and F10 alone, come as system keys.
  const bool system = alt || key == VK_F10;
  const COREWEBVIEW2_KEY_EVENT_KIND kind =
      up ? (system ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP : COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP)
         : (system ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN);
  ComPtr<ICoreWebView2AcceleratorKeyPressedEventArgs> args(new_accelerator_args(kind, key, repeat));
  for (auto& handler : accelerator_handlers.snapshot()) handler->Invoke(sender.get(), args.get());
  SetKeyboardState(saved);
  BOOL handled = FALSE;
  return SUCCEEDED(args->get_Handled(&handled)) && handled;
}

// A script the host's handler runs sees the page as it was before the key,
// as with the real control. One sent after the handler returned, while the
// page still waits for the resume (work the handler posted), follows it.
void PageSession::run_script(std::function<void()> send_script) {
  if (stopped_for_key && !in_key_handler) held_scripts.push_back(std::move(send_script));
  else send_script();
}

// Resumes the page; the scripts held meanwhile follow the resume.
void PageSession::go_on_after_key() {
  std::weak_ptr<PageSession> weak = weak_from_this();
  send("Debugger.resume", "{}", [weak](CdpMessage&) {
    auto self = weak.lock();
    if (!self) return;
    self->stopped_for_key = false;
    std::vector<std::function<void()>> held;
    held.swap(self->held_scripts);
    if (self->closed) return;
    for (auto& script : held) script();
  });
}

void PageSession::on_paused(const JsonValue& paused) {
  const JsonValue* frames = paused.find("callFrames");
  const JsonValue* top = frames && !frames->as_array().empty() ? &frames->as_array().front() : nullptr;
  JsonValue key;
  if (top && top->get_string("functionName", "") == kKeyPauseFunction && top->find("this") &&
      parse_json(top->find("this")->get_string("value", ""), key) && key.is_object()) {
    const double vk = key.get_number("vk", 0);
    stopped_for_key = true;
    in_key_handler = true;
    const bool handled = vk > 0 && vk < 256 &&
                         raise_accelerator(static_cast<UINT>(vk), key.get_bool("up", false), key.get_bool("c", false),
                                           key.get_bool("s", false), key.get_bool("a", false),
                                           key.get_bool("r", false));
    in_key_handler = false;
    // The handler may have closed us, and the page with us.
    if (closed) return;
    if (handled) {
      std::string params = "{\"callFrameId\":";
      append_json_quoted(top->get_string("callFrameId", ""), params);
      params += ",\"expression\":\"hostHandled = true\",\"silent\":true}";
      // Chromium takes a resume ahead of the commands queued before it, so
      // the page goes on only once the answer is in.
      std::weak_ptr<PageSession> weak = weak_from_this();
      send("Debugger.evaluateOnCallFrame", std::move(params), [weak](CdpMessage&) {
        if (auto self = weak.lock(); self && !self->closed) self->go_on_after_key();
      });
      return;
    }
    return go_on_after_key();
  }
  send("Debugger.resume", "{}");
}

void PageSession::on_binding(const std::string& payload) {
  JsonValue call;
  if (!parse_json(payload, call) || !call.is_object()) return;
  const std::string type = call.get_string("t", "");
  if (type == "msg") {
    raise_web_message(call.get_string("s", ""), call.get_string("m", "null"));
  }
}

void PageSession::on_event(CdpMessage& event) {
  if (closed) return;
  if (event.method == "Runtime.bindingCalled") {
    if (event.body.get_string("name", "") == kBinding) on_binding(event.body.get_string("payload", ""));
  } else if (event.method == "Fetch.requestPaused") {
    navigation_events.on_request_paused(event, web_view, target_id, connection, session_id,
                                        [this](const std::string& url) { return caller_url_for(url); });
  } else if (event.method == "Page.windowOpen") {
    navigation_events.on_window_open(event, web_view, target_id, connection);
  } else if (event.method == "Debugger.paused") {
    on_paused(event.body);
  } else if (event.method == "Page.lifecycleEvent") {
    if (event.body.get_string("name", "") != "load") return;
    const std::string loader = event.body.get_string("loaderId", "");
    if (navigation && navigation->loader_id == loader) {
      complete_navigation(navigation->id, true, COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
    } else {
      last_loaded_loader = loader;
    }
  } else if (event.method == "Vesk.disconnected" || event.method == "Inspector.targetCrashed" ||
             event.method == "Inspector.detached") {
    if (navigation) complete_navigation(navigation->id, false, COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED);
  }
}

HRESULT PageSession::navigate(LPCWSTR uri) {
  if (closed || !ready) return kClosed;
  if (!uri || !*uri) return E_INVALIDARG;
  const std::string windows_url = to_utf8(uri);
  const std::string page_url = browser_url_for(windows_url);
  {
    std::string unix_path, suffix, windows_path, windows_suffix;
    if (unix_path_from_file_url(page_url, unix_path, suffix) &&
        windows_path_from_file_url(windows_url, windows_path, windows_suffix)) {
      const std::string bare = file_url_from_unix_path(unix_path);
      const std::string windows_bare = windows_url.substr(0, windows_url.size() - windows_suffix.size());
      std::erase_if(windows_urls, [&](const auto& entry) { return entry.first == bare; });
      windows_urls.emplace_back(bare, windows_bare);
    }
  }
  // A load still under way is replaced, as a browser does; its caller hears so.
  if (navigation) complete_navigation(navigation->id, false, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
  const UINT64 id = next_navigation_id++;
  navigation = Navigation{id, {}};
  source = uri;

  std::string params = "{\"url\":";
  append_json_quoted(page_url, params);
  params += '}';
  std::weak_ptr<PageSession> weak = weak_from_this();
  send("Page.navigate", std::move(params), [weak, id](CdpMessage& reply) {
    auto self = weak.lock();
    if (!self || !self->navigation || self->navigation->id != id) return;
    if (reply.failed) {
      self->complete_navigation(id, false,
                                self->connection->connected() ? COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR
                                                              : COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED);
      return;
    }
    if (!reply.body.get_string("errorText", "").empty()) {
      self->complete_navigation(id, false, COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT);
      return;
    }
    const std::string loader = reply.body.get_string("loaderId", "");
    if (loader.empty()) {
      // A fragment change within the page: like the real control, no
      // completion event for it.
      self->navigation.reset();
      return;
    }
    self->navigation->loader_id = loader;
    if (self->last_loaded_loader == loader) self->complete_navigation(id, true, COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
  });
  return S_OK;
}

void PageSession::close() {
  if (closed) return;
  closed = true;
  navigation.reset();
  late_messages.clear();
  message_handlers.clear();
  navigation_handlers.clear();
  accelerator_handlers.clear();
  if (embedded) embedded->release();
  navigation_events.clear();
  connection->unsubscribe(session_id);
  if (!target_id.empty()) {
    std::string params = "{\"targetId\":";
    append_json_quoted(target_id, params);
    params += '}';
    connection->send("Target.closeTarget", std::move(params), "", nullptr);
  }
}

}  // namespace vesk::cdp
