#include "navigation_events_win.h"

#include <atomic>

#include "core/json.h"
#include "webhost/com_object.h"
#include "platform/strings.h"

namespace vesk::cdp {
namespace {

using win::ComPtr;
using win::query_interface_of;
using win::RefCounted;

std::int64_t next_token() {
  // Above the tokens of the other events of the control, so none collide.
  static std::atomic<std::int64_t> counter{1 << 30};
  return ++counter;
}

HRESULT copy_out(const std::wstring& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!*out) return E_OUTOFMEMORY;
  text.copy(*out, text.size());
  (*out)[text.size()] = L'\0';
  return S_OK;
}

HRESULT put_bool(BOOL value, BOOL* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

class StartingArgs final : public ICoreWebView2NavigationStartingEventArgs, public RefCounted {
 public:
  StartingArgs(std::wstring uri, bool user, UINT64 id) : uri_(std::move(uri)), user_(user), id_(id) {}
  bool cancelled() const { return cancel_ != FALSE; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2NavigationStartingEventArgs)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return copy_out(uri_, uri); }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override { return put_bool(user_, value); }
  HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* value) override { return put_bool(FALSE, value); }
  HRESULT STDMETHODCALLTYPE get_RequestHeaders(ICoreWebView2HttpRequestHeaders**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* value) override { return put_bool(cancel_, value); }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL value) override {
    cancel_ = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* id) override {
    if (!id) return E_POINTER;
    *id = id_;
    return S_OK;
  }

 private:
  std::wstring uri_;
  BOOL user_;
  UINT64 id_;
  BOOL cancel_ = FALSE;
};

class NewWindowArgs final : public ICoreWebView2NewWindowRequestedEventArgs, public RefCounted {
 public:
  NewWindowArgs(std::wstring uri, bool user) : uri_(std::move(uri)), user_(user) {}
  bool handled() const { return handled_ != FALSE; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2NewWindowRequestedEventArgs)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return copy_out(uri_, uri); }
  // The control cannot host a second page in a caller's web view.
  HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** window) override {
    if (!window) return E_POINTER;
    *window = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
    handled_ = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* value) override { return put_bool(handled_, value); }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override { return put_bool(user_, value); }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures**) override { return E_NOTIMPL; }

 private:
  std::wstring uri_;
  BOOL user_;
  BOOL handled_ = FALSE;
};

template <typename Handler>
HRESULT add_to(std::vector<std::pair<std::int64_t, ComPtr<Handler>>>& list, Handler* handler,
               EventRegistrationToken* token) {
  if (!handler || !token) return E_POINTER;
  token->value = next_token();
  list.emplace_back(token->value, ComPtr<Handler>::retain(handler));
  return S_OK;
}

template <typename Handler>
std::vector<ComPtr<Handler>> snapshot(const std::vector<std::pair<std::int64_t, ComPtr<Handler>>>& list) {
  std::vector<ComPtr<Handler>> copy;
  for (const auto& entry : list) copy.push_back(entry.second);
  return copy;
}

std::string with_request_id(const std::string& id, const char* rest = "") {
  std::string params = "{\"requestId\":";
  append_json_quoted(id, params);
  return params + rest + "}";
}

}  // namespace

const char* NavigationEvents::fetch_patterns() {
  return R"({"patterns":[{"urlPattern":"*","resourceType":"Document","requestStage":"Request"}]})";
}

HRESULT NavigationEvents::add_starting(ICoreWebView2NavigationStartingEventHandler* handler,
                                       EventRegistrationToken* token) {
  return add_to(starting_, handler, token);
}
void NavigationEvents::remove_starting(EventRegistrationToken token) {
  std::erase_if(starting_, [&](const auto& entry) { return entry.first == token.value; });
}
HRESULT NavigationEvents::add_new_window(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                         EventRegistrationToken* token) {
  return add_to(new_window_, handler, token);
}
void NavigationEvents::remove_new_window(EventRegistrationToken token) {
  std::erase_if(new_window_, [&](const auto& entry) { return entry.first == token.value; });
}
void NavigationEvents::clear() {
  starting_.clear();
  new_window_.clear();
}

void NavigationEvents::on_request_paused(CdpMessage& event, ICoreWebView2* sender, const std::string& target_id,
                                         const std::shared_ptr<CdpConnection>& connection,
                                         const std::string& session_id, const CallerUrl& caller_url) {
  const std::string request_id = event.body.get_string("requestId", "");
  const JsonValue* request = event.body.find("request");
  const std::string url = request ? request->get_string("url", "") : std::string();
  bool cancel = false;
  // A page target's main frame carries the target's id.
  if (event.body.get_string("frameId", "") == target_id && sender) {
    ComPtr<StartingArgs> args(new StartingArgs(win::to_utf16(caller_url(url)), true, next_navigation_id_++));
    for (auto& handler : snapshot(starting_)) handler->Invoke(sender, args.get());
    cancel = args->cancelled();
  }
  if (cancel) {
    connection->send("Fetch.failRequest", with_request_id(request_id, R"(,"errorReason":"Aborted")"), session_id,
                     nullptr);
  } else {
    connection->send("Fetch.continueRequest", with_request_id(request_id), session_id, nullptr);
  }
}

void NavigationEvents::on_window_open(CdpMessage& event, ICoreWebView2* sender, const std::string& target_id,
                                      const std::shared_ptr<CdpConnection>& connection) {
  if (!sender) return;
  ComPtr<NewWindowArgs> args(new NewWindowArgs(win::to_utf16(event.body.get_string("url", "")),
                                               event.body.get_bool("userGesture", false)));
  for (auto& handler : snapshot(new_window_)) handler->Invoke(sender, args.get());
  if (!args->handled()) return;
  // Chromium opened the window already: close every page this one opened.
  connection->send("Target.getTargets", "{}", "", [connection, target_id](CdpMessage& reply) {
    const JsonValue* infos = reply.failed ? nullptr : reply.body.find("targetInfos");
    if (!infos || !infos->is_array()) return;
    for (const JsonValue& info : infos->as_array()) {
      if (info.get_string("openerId", "") != target_id) continue;
      std::string params = "{\"targetId\":";
      append_json_quoted(info.get_string("targetId", ""), params);
      connection->send("Target.closeTarget", params + "}", "", nullptr);
    }
  });
}

}  // namespace vesk::cdp
