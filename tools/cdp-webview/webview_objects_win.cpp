#include "webview_objects_win.h"

#include <shlwapi.h>

#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#include "control_rules_win.h"
#include "core/json.h"
#include "path_mapping.h"
#include "ui_thread_win.h"
#include "webhost/com_object.h"
#include "platform/com.h"
#include "platform/strings.h"
#include "wine_paths_win.h"

namespace vesk::cdp {
namespace {

using win::ComPtr;
using win::query_interface_of;
using win::RefCounted;
using win::to_utf16;
using win::to_utf8;

constexpr char kBinding[] = "__veskCdpPost";
constexpr HRESULT kClosed = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

LPWSTR co_task_copy(std::wstring_view text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  text.copy(copy, text.size());
  copy[text.size()] = L'\0';
  return copy;
}

HRESULT copy_out(std::wstring_view text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = co_task_copy(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

std::int64_t next_token() {
  static std::atomic<std::int64_t> counter{0};
  return ++counter;
}

bool visible_browser() {
  wchar_t value[4] = {};
  return GetEnvironmentVariableW(L"VESK_CDP_VISIBLE", value, 4) > 0 && value[0] != L'0';
}

template <typename Handler>
class Handlers {
 public:
  HRESULT add(Handler* handler, EventRegistrationToken* token) {
    if (!handler || !token) return E_POINTER;
    token->value = next_token();
    list_.emplace_back(token->value, ComPtr<Handler>::retain(handler));
    return S_OK;
  }
  void remove(EventRegistrationToken token) {
    for (auto it = list_.begin(); it != list_.end(); ++it) {
      if (it->first == token.value) {
        list_.erase(it);
        return;
      }
    }
  }
  // A copy, so a handler may add or remove handlers while we walk the list.
  std::vector<ComPtr<Handler>> snapshot() const {
    std::vector<ComPtr<Handler>> copy;
    for (const auto& entry : list_) copy.push_back(entry.second);
    return copy;
  }
  void clear() { list_.clear(); }

 private:
  std::vector<std::pair<std::int64_t, ComPtr<Handler>>> list_;
};

// --- event arguments -----------------------------------------------------------

class WebMessageArgs final : public ICoreWebView2WebMessageReceivedEventArgs, public RefCounted {
 public:
  WebMessageArgs(std::wstring source, std::wstring json) : source_(std::move(source)), json_(std::move(json)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2WebMessageReceivedEventArgs)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override { return copy_out(source_, source); }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) override { return copy_out(json_, json); }
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* text) override {
    if (!text) return E_POINTER;
    *text = nullptr;
    JsonValue value;
    if (!parse_json(to_utf8(json_), value) || !value.is_string()) return E_INVALIDARG;
    return copy_out(to_utf16(value.as_string()), text);
  }

 private:
  std::wstring source_;
  std::wstring json_;
};

class NavigationArgs final : public ICoreWebView2NavigationCompletedEventArgs, public RefCounted {
 public:
  NavigationArgs(bool success, COREWEBVIEW2_WEB_ERROR_STATUS status, UINT64 id)
      : success_(success), status_(status), id_(id) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2NavigationCompletedEventArgs)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* success) override {
    if (!success) return E_POINTER;
    *success = success_ ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* status) override {
    if (!status) return E_POINTER;
    *status = status_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* id) override {
    if (!id) return E_POINTER;
    *id = id_;
    return S_OK;
  }

 private:
  bool success_;
  COREWEBVIEW2_WEB_ERROR_STATUS status_;
  UINT64 id_;
};

class AcceleratorArgs final : public ICoreWebView2AcceleratorKeyPressedEventArgs, public RefCounted {
 public:
  AcceleratorArgs(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT key) : kind_(kind), key_(key) {}
  bool handled() const { return handled_; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2AcceleratorKeyPressedEventArgs)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* kind) override {
    if (!kind) return E_POINTER;
    *kind = kind_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* key) override {
    if (!key) return E_POINTER;
    *key = key_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* lparam) override {
    if (!lparam) return E_POINTER;
    *lparam = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* status) override {
    if (!status) return E_POINTER;
    *status = {};
    status->RepeatCount = 1;
    status->IsMenuKeyDown = kind_ == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override {
    if (!handled) return E_POINTER;
    *handled = handled_ ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    handled_ = handled != FALSE;
    return S_OK;
  }

 private:
  COREWEBVIEW2_KEY_EVENT_KIND kind_;
  UINT key_;
  bool handled_ = false;
};

// --- settings ---------------------------------------------------------------------

class Settings final : public ICoreWebView2Settings3, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2Settings), __uuidof(ICoreWebView2Settings2),
                               __uuidof(ICoreWebView2Settings3)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

#define VESK_FLAG(Name, field)                                               \
  HRESULT STDMETHODCALLTYPE get_##Name(BOOL* value) override {               \
    if (!value) return E_POINTER;                                            \
    *value = field;                                                          \
    return S_OK;                                                             \
  }                                                                          \
  HRESULT STDMETHODCALLTYPE put_##Name(BOOL value) override {                \
    field = value;                                                           \
    return S_OK;                                                             \
  }
  VESK_FLAG(IsScriptEnabled, script_)
  VESK_FLAG(IsWebMessageEnabled, web_message_)
  VESK_FLAG(AreDefaultScriptDialogsEnabled, dialogs_)
  VESK_FLAG(IsStatusBarEnabled, status_bar_)
  VESK_FLAG(AreDevToolsEnabled, dev_tools_)
  VESK_FLAG(AreDefaultContextMenusEnabled, context_menus_)
  VESK_FLAG(AreHostObjectsAllowed, host_objects_)
  VESK_FLAG(IsZoomControlEnabled, zoom_control_)
  VESK_FLAG(IsBuiltInErrorPageEnabled, error_page_)
  VESK_FLAG(AreBrowserAcceleratorKeysEnabled, browser_keys_)
#undef VESK_FLAG
  HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR* value) override { return copy_out(user_agent_, value); }
  HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR value) override {
    user_agent_ = value ? value : L"";
    return S_OK;
  }

 private:
  BOOL script_ = TRUE, web_message_ = TRUE, dialogs_ = TRUE, status_bar_ = TRUE, dev_tools_ = TRUE,
       context_menus_ = TRUE, host_objects_ = TRUE, zoom_control_ = TRUE, error_page_ = TRUE,
       browser_keys_ = TRUE;
  std::wstring user_agent_;
};

class PrintSettings final : public ICoreWebView2PrintSettings, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2PrintSettings)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE get_Orientation(COREWEBVIEW2_PRINT_ORIENTATION* value) override {
    if (!value) return E_POINTER;
    *value = orientation_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Orientation(COREWEBVIEW2_PRINT_ORIENTATION value) override {
    if (value != COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT && value != COREWEBVIEW2_PRINT_ORIENTATION_LANDSCAPE) {
      return E_INVALIDARG;
    }
    orientation_ = value;
    return S_OK;
  }
  // The same ranges the real control enforces.
#define VESK_NUMBER(Name, field, valid)                                        \
  HRESULT STDMETHODCALLTYPE get_##Name(double* value) override {               \
    if (!value) return E_POINTER;                                              \
    *value = field;                                                            \
    return S_OK;                                                               \
  }                                                                            \
  HRESULT STDMETHODCALLTYPE put_##Name(double value) override {                \
    if (!(valid)) return E_INVALIDARG;                                         \
    field = value;                                                             \
    return S_OK;                                                               \
  }
  VESK_NUMBER(ScaleFactor, scale_, value >= 0.1 && value <= 2.0)
  VESK_NUMBER(PageWidth, width_, value > 0)
  VESK_NUMBER(PageHeight, height_, value > 0)
  VESK_NUMBER(MarginTop, top_, value >= 0)
  VESK_NUMBER(MarginBottom, bottom_, value >= 0)
  VESK_NUMBER(MarginLeft, left_, value >= 0)
  VESK_NUMBER(MarginRight, right_, value >= 0)
#undef VESK_NUMBER
#define VESK_FLAG(Name, field)                                 \
  HRESULT STDMETHODCALLTYPE get_##Name(BOOL* value) override { \
    if (!value) return E_POINTER;                              \
    *value = field;                                            \
    return S_OK;                                               \
  }                                                            \
  HRESULT STDMETHODCALLTYPE put_##Name(BOOL value) override {  \
    field = value;                                             \
    return S_OK;                                               \
  }
  VESK_FLAG(ShouldPrintBackgrounds, backgrounds_)
  VESK_FLAG(ShouldPrintSelectionOnly, selection_only_)
  VESK_FLAG(ShouldPrintHeaderAndFooter, header_footer_)
#undef VESK_FLAG
  HRESULT STDMETHODCALLTYPE get_HeaderTitle(LPWSTR* value) override { return copy_out(header_title_, value); }
  HRESULT STDMETHODCALLTYPE put_HeaderTitle(LPCWSTR value) override {
    header_title_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_FooterUri(LPWSTR* value) override { return copy_out(footer_uri_, value); }
  HRESULT STDMETHODCALLTYPE put_FooterUri(LPCWSTR value) override {
    footer_uri_ = value ? value : L"";
    return S_OK;
  }

 private:
  COREWEBVIEW2_PRINT_ORIENTATION orientation_ = COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT;
  // Inches; the margins default to one centimetre.
  double scale_ = 1.0, width_ = 8.5, height_ = 11.0, top_ = 0.3937007874015748,
         bottom_ = 0.3937007874015748, left_ = 0.3937007874015748, right_ = 0.3937007874015748;
  BOOL backgrounds_ = FALSE, selection_only_ = FALSE, header_footer_ = FALSE;
  std::wstring header_title_, footer_uri_;
};

// Read through the public interface, so settings made by anyone print alike.
PrintOptions print_options_from(ICoreWebView2PrintSettings* settings) {
  PrintOptions options;
  if (!settings) {
    options.margin_top = options.margin_bottom = options.margin_left = options.margin_right = 0.3937007874015748;
    return options;
  }
  BOOL flag = FALSE;
  COREWEBVIEW2_PRINT_ORIENTATION orientation = COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT;
  settings->get_PageWidth(&options.page_width);
  settings->get_PageHeight(&options.page_height);
  settings->get_MarginTop(&options.margin_top);
  settings->get_MarginBottom(&options.margin_bottom);
  settings->get_MarginLeft(&options.margin_left);
  settings->get_MarginRight(&options.margin_right);
  settings->get_ScaleFactor(&options.scale);
  if (SUCCEEDED(settings->get_ShouldPrintBackgrounds(&flag))) options.backgrounds = flag != FALSE;
  if (SUCCEEDED(settings->get_ShouldPrintHeaderAndFooter(&flag))) options.header_and_footer = flag != FALSE;
  if (SUCCEEDED(settings->get_Orientation(&orientation))) {
    options.landscape = orientation == COREWEBVIEW2_PRINT_ORIENTATION_LANDSCAPE;
  }
  return options;
}

bool write_file(LPCWSTR path, const std::vector<unsigned char>& bytes) {
  win::UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// --- one page ------------------------------------------------------------------

struct PageSession : std::enable_shared_from_this<PageSession> {
  std::shared_ptr<CdpConnection> connection;
  std::string target_id;
  std::string session_id;
  HWND parent = nullptr;
  RECT bounds{};
  bool ready = false;
  bool closed = false;
  // The COM faces, not owned: they clear these when they go.
  ICoreWebView2* web_view = nullptr;
  ICoreWebView2Controller* controller = nullptr;
  Handlers<ICoreWebView2WebMessageReceivedEventHandler> message_handlers;
  Handlers<ICoreWebView2NavigationCompletedEventHandler> navigation_handlers;
  Handlers<ICoreWebView2AcceleratorKeyPressedEventHandler> accelerator_handlers;
  LateMessages late_messages;
  // The real control prints one page at a time.
  bool printing = false;

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

  void apply_bounds() {
    if (!ready || closed || visible_browser()) return;
    const long width = bounds.right - bounds.left;
    const long height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0) return;
    send("Emulation.setDeviceMetricsOverride",
         "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
             ",\"deviceScaleFactor\":1,\"mobile\":false}");
  }

  // Always raised from the mailbox, never inside the call that caused it.
  void complete_navigation(UINT64 id, bool success, COREWEBVIEW2_WEB_ERROR_STATUS status) {
    if (navigation && navigation->id == id) navigation.reset();
    std::weak_ptr<PageSession> weak = weak_from_this();
    UiThread::instance()->post([weak, id, success, status] {
      auto self = weak.lock();
      if (!self || self->closed || !self->web_view) return;
      ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::retain(self->web_view);
      ComPtr<ICoreWebView2NavigationCompletedEventArgs> args(new NavigationArgs(success, status, id));
      for (auto& handler : self->navigation_handlers.snapshot()) handler->Invoke(sender.get(), args.get());
    });
  }

  std::string caller_url_for(const std::string& page_url) const {
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

  void raise_web_message(const std::string& page_url, const std::string& json) {
    if (closed || !web_view) return;
    ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::retain(web_view);
    ComPtr<ICoreWebView2WebMessageReceivedEventArgs> args(
        new WebMessageArgs(to_utf16(caller_url_for(page_url)), to_utf16(json)));
    for (auto& handler : message_handlers.snapshot()) handler->Invoke(sender.get(), args.get());
  }

  // Keys pressed in a visible browser window never pass through this
  // process, so the key state the caller reads is set for the moment.
  void raise_accelerator(UINT key, bool ctrl, bool shift, bool alt) {
    if (closed || !controller) return;
    BYTE saved[256] = {};
    BYTE state[256] = {};
    GetKeyboardState(saved);
    std::copy(std::begin(saved), std::end(saved), std::begin(state));
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_MENU] = alt ? 0x80 : 0;
    SetKeyboardState(state);
    ComPtr<ICoreWebView2Controller> sender = ComPtr<ICoreWebView2Controller>::retain(controller);
    ComPtr<AcceleratorArgs> args(new AcceleratorArgs(
        alt ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN, key));
    for (auto& handler : accelerator_handlers.snapshot()) handler->Invoke(sender.get(), args.get());
    SetKeyboardState(saved);
  }

  void on_binding(const std::string& payload) {
    JsonValue call;
    if (!parse_json(payload, call) || !call.is_object()) return;
    const std::string type = call.get_string("t", "");
    if (type == "msg") {
      raise_web_message(call.get_string("s", ""), call.get_string("m", "null"));
    } else if (type == "key") {
      const double key = call.get_number("vk", 0);
      if (key > 0 && key < 256) {
        raise_accelerator(static_cast<UINT>(key), call.get_bool("c", false), call.get_bool("s", false),
                          call.get_bool("a", false));
      }
    }
  }

  void on_event(CdpMessage& event) {
    if (closed) return;
    if (event.method == "Runtime.bindingCalled") {
      if (event.body.get_string("name", "") == kBinding) on_binding(event.body.get_string("payload", ""));
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

  HRESULT navigate(LPCWSTR uri) {
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

  void close() {
    if (closed) return;
    closed = true;
    navigation.reset();
    late_messages.clear();
    message_handlers.clear();
    navigation_handlers.clear();
    accelerator_handlers.clear();
    connection->unsubscribe(session_id);
    if (!target_id.empty()) {
      std::string params = "{\"targetId\":";
      append_json_quoted(target_id, params);
      params += '}';
      connection->send("Target.closeTarget", std::move(params), "", nullptr);
    }
  }
};

// --- the web view ------------------------------------------------------------------

class WebView final : public ICoreWebView2_7, public RefCounted {
 public:
  explicit WebView(std::shared_ptr<PageSession> session)
      : session_(std::move(session)), settings_(new Settings()) {
    session_->web_view = this;
  }
  ~WebView() override {
    if (session_->web_view == this) session_->web_view = nullptr;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2), __uuidof(ICoreWebView2_2), __uuidof(ICoreWebView2_3),
                               __uuidof(ICoreWebView2_4), __uuidof(ICoreWebView2_5), __uuidof(ICoreWebView2_6),
                               __uuidof(ICoreWebView2_7)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
    if (!settings) return E_POINTER;
    *settings = ComPtr<ICoreWebView2Settings>::retain(settings_.get()).detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override { return copy_out(session_->source, uri); }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override { return session_->navigate(uri); }

  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* handler,
                                                    EventRegistrationToken* token) override {
    return session_->navigation_handlers.add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) override {
    session_->navigation_handlers.remove(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return session_->message_handlers.add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override {
    session_->message_handlers.remove(token);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!script) return E_INVALIDARG;
    std::string params = "{\"source\":";
    append_json_quoted(to_utf8(script), params);
    params += '}';
    auto hold = ComPtr<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>::retain(handler);
    session_->send("Page.addScriptToEvaluateOnNewDocument", std::move(params), [hold](CdpMessage& reply) {
      if (!hold) return;
      const std::wstring id = to_utf16(reply.body.get_string("identifier", ""));
      hold->Invoke(reply.failed ? E_FAIL : S_OK, reply.failed ? nullptr : id.c_str());
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) override {
    if (session_->closed) return kClosed;
    if (!id) return E_INVALIDARG;
    std::string params = "{\"identifier\":";
    append_json_quoted(to_utf8(id), params);
    params += '}';
    session_->send("Page.removeScriptToEvaluateOnNewDocument", std::move(params));
    return S_OK;
  }

  // Every script goes down the one session in submission order, which the
  // browser keeps; nothing waits for a script before sending the next.
  HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!script) return E_INVALIDARG;
    // Converted and quoted on the writer thread: a document in pieces is
    // megabytes of script, and the caller's thread has better things to do.
    std::wstring text = script;
    if (!handler) {
      session_->send("Runtime.evaluate",
                     CdpConnection::Params([text = std::move(text)] { return evaluate_params(to_utf8(text)); }));
      return S_OK;
    }
    auto hold = ComPtr<ICoreWebView2ExecuteScriptCompletedHandler>::retain(handler);
    CdpConnection::Params params = [text = std::move(text)] { return evaluate_for_json_params(to_utf8(text)); };
    session_->send("Runtime.evaluate", std::move(params), [hold](CdpMessage& reply) {
      const JsonValue* result = reply.body.find("result");
      if (reply.failed || !result || !result->is_object() || !result->find("value")) {
        hold->Invoke(E_FAIL, L"null");
        return;
      }
      const std::wstring json = to_utf16(result->get_string("value", "null"));
      hold->Invoke(S_OK, json.c_str());
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    if (session_->closed) return kClosed;
    if (!json) return E_INVALIDARG;
    const std::string text = to_utf8(json);
    JsonValue check;
    if (!parse_json(text, check)) return E_INVALIDARG;
    // JSON.parse of the text as a string, not the text as a literal: a key
    // "__proto__" must arrive as a key.
    std::string script = "(function(){var w=window.chrome&&window.chrome.webview;"
                         "if(w&&w.__deliver)w.__deliver(JSON.parse(";
    append_json_quoted(text, script);
    script += "));})()";
    std::weak_ptr<PageSession> weak = session_;
    session_->late_messages.post(std::move(script), [weak](const std::string& held) {
      if (auto session = weak.lock(); session && !session->closed) {
        session->send("Runtime.evaluate", evaluate_params(held));
      }
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR text) override {
    if (!text) return E_INVALIDARG;
    return PostWebMessageAsJson(to_utf16(json_quote(to_utf8(text))).c_str());
  }

  HRESULT STDMETHODCALLTYPE CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT format, IStream* stream,
                                           ICoreWebView2CapturePreviewCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!stream) return E_INVALIDARG;
    auto hold_stream = ComPtr<IStream>::retain(stream);
    auto hold = ComPtr<ICoreWebView2CapturePreviewCompletedHandler>::retain(handler);
    const char* params = format == COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG ? R"({"format":"jpeg"})"
                                                                                   : R"({"format":"png"})";
    session_->send("Page.captureScreenshot", params, [hold_stream, hold](CdpMessage& reply) mutable {
      HRESULT result = E_FAIL;
      if (!reply.failed) {
        const std::vector<unsigned char> image = decode_base64(reply.body.get_string("data", ""));
        ULONG written = 0;
        if (!image.empty() &&
            SUCCEEDED(hold_stream->Write(image.data(), static_cast<ULONG>(image.size()), &written)) &&
            written == image.size()) {
          result = S_OK;
        }
      }
      // The caller reads the file once told: let it go first.
      hold_stream.reset();
      if (hold) hold->Invoke(result);
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE PrintToPdf(LPCWSTR path, ICoreWebView2PrintSettings* settings,
                                       ICoreWebView2PrintToPdfCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!path || !*path) return E_INVALIDARG;
    auto hold = ComPtr<ICoreWebView2PrintToPdfCompletedHandler>::retain(handler);
    if (session_->printing) {
      // As documented: the handler runs at once, unsuccessful.
      if (hold) hold->Invoke(S_OK, FALSE);
      return S_OK;
    }
    session_->printing = true;
    const std::wstring target = path;
    std::weak_ptr<PageSession> weak = session_;
    session_->send(
        "Page.printToPDF", print_to_pdf_params(print_options_from(settings)),
        [hold, target, weak](CdpMessage& reply) {
          if (auto session = weak.lock()) session->printing = false;
          bool printed = false;
          if (!reply.failed) printed = write_file(target.c_str(), decode_base64(reply.body.get_string("data", "")));
          if (hold) hold->Invoke(reply.failed ? E_FAIL : S_OK, printed ? TRUE : FALSE);
        },
        std::chrono::minutes(2));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Reload() override {
    if (session_->closed) return kClosed;
    session_->send("Page.reload", "{}");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    if (session_->closed) return kClosed;
    session_->send("Page.stopLoading", "{}");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* id) override {
    if (!id) return E_POINTER;
    *id = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override { return copy_out(L"", title); }

  // What the web host never calls.
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR) override { return E_NOTIMPL; }
#define VESK_NO_EVENT(Name, Handler)                                                                    \
  HRESULT STDMETHODCALLTYPE add_##Name(Handler*, EventRegistrationToken* token) override {              \
    if (!token) return E_POINTER;                                                                       \
    token->value = next_token();                                                                        \
    return S_OK;                                                                                        \
  }                                                                                                     \
  HRESULT STDMETHODCALLTYPE remove_##Name(EventRegistrationToken) override { return S_OK; }
  VESK_NO_EVENT(NavigationStarting, ICoreWebView2NavigationStartingEventHandler)
  VESK_NO_EVENT(ContentLoading, ICoreWebView2ContentLoadingEventHandler)
  VESK_NO_EVENT(SourceChanged, ICoreWebView2SourceChangedEventHandler)
  VESK_NO_EVENT(HistoryChanged, ICoreWebView2HistoryChangedEventHandler)
  VESK_NO_EVENT(FrameNavigationStarting, ICoreWebView2NavigationStartingEventHandler)
  VESK_NO_EVENT(FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler)
  VESK_NO_EVENT(ScriptDialogOpening, ICoreWebView2ScriptDialogOpeningEventHandler)
  VESK_NO_EVENT(PermissionRequested, ICoreWebView2PermissionRequestedEventHandler)
  VESK_NO_EVENT(ProcessFailed, ICoreWebView2ProcessFailedEventHandler)
  VESK_NO_EVENT(NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler)
  VESK_NO_EVENT(DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler)
  VESK_NO_EVENT(ContainsFullScreenElementChanged, ICoreWebView2ContainsFullScreenElementChangedEventHandler)
  VESK_NO_EVENT(WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler)
  VESK_NO_EVENT(WindowCloseRequested, ICoreWebView2WindowCloseRequestedEventHandler)
  VESK_NO_EVENT(WebResourceResponseReceived, ICoreWebView2WebResourceResponseReceivedEventHandler)
  VESK_NO_EVENT(DOMContentLoaded, ICoreWebView2DOMContentLoadedEventHandler)
  VESK_NO_EVENT(FrameCreated, ICoreWebView2FrameCreatedEventHandler)
  VESK_NO_EVENT(DownloadStarting, ICoreWebView2DownloadStartingEventHandler)
  VESK_NO_EVENT(ClientCertificateRequested, ICoreWebView2ClientCertificateRequestedEventHandler)
#undef VESK_NO_EVENT
  HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(LPCWSTR, LPCWSTR,
                                                       ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* can) override {
    if (!can) return E_POINTER;
    *can = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* can) override { return get_CanGoBack(can); }
  HRESULT STDMETHODCALLTYPE GoBack() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoForward() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* contains) override { return get_CanGoBack(contains); }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TrySuspend(ICoreWebView2TrySuspendCompletedHandler*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resume() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_IsSuspended(BOOL* suspended) override { return get_CanGoBack(suspended); }
  HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(LPCWSTR, LPCWSTR,
                                                              COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ClearVirtualHostNameToFolderMapping(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenTaskManagerWindow() override { return E_NOTIMPL; }

 private:
  std::shared_ptr<PageSession> session_;
  ComPtr<Settings> settings_;
};

// --- the controller ------------------------------------------------------------------

class Controller final : public ICoreWebView2Controller4, public RefCounted {
 public:
  explicit Controller(std::shared_ptr<PageSession> session)
      : session_(std::move(session)), web_view_(new WebView(session_)) {
    session_->controller = this;
  }
  ~Controller() override {
    if (session_->controller == this) session_->controller = nullptr;
    session_->close();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2Controller), __uuidof(ICoreWebView2Controller2),
                               __uuidof(ICoreWebView2Controller3), __uuidof(ICoreWebView2Controller4)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override {
    if (!visible) return E_POINTER;
    *visible = visible_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    visible_ = visible;
    return session_->closed ? kClosed : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override {
    if (!bounds) return E_POINTER;
    *bounds = session_->bounds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    if (session_->closed) return kClosed;
    session_->bounds = bounds;
    session_->apply_bounds();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoom) override {
    if (!zoom) return E_POINTER;
    *zoom = 1.0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler*,
                                                  EventRegistrationToken* token) override {
    return no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double) override { return put_Bounds(bounds); }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    return session_->closed ? kClosed : S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler*,
                                                   EventRegistrationToken* token) override {
    return no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken* token) override {
    return no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken* token) override {
    return no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                                      EventRegistrationToken* token) override {
    return session_->accelerator_handlers.add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) override {
    session_->accelerator_handlers.remove(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parent) override {
    if (!parent) return E_POINTER;
    *parent = session_->parent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parent) override {
    session_->parent = parent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close() override {
    const bool was_open = !session_->closed;
    session_->close();
    // The real Close waits for the browser and runs the caller's pending
    // window messages meanwhile.
    if (was_open) dispatch_pending_messages();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** web_view) override {
    if (!web_view) return E_POINTER;
    *web_view = nullptr;
    if (session_->closed) return kClosed;
    *web_view = ComPtr<ICoreWebView2>::retain(web_view_.get()).detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor(COREWEBVIEW2_COLOR* color) override {
    if (!color) return E_POINTER;
    *color = {255, 255, 255, 255};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_RasterizationScale(double* scale) override { return get_ZoomFactor(scale); }
  HRESULT STDMETHODCALLTYPE put_RasterizationScale(double) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ShouldDetectMonitorScaleChanges(BOOL* value) override {
    if (!value) return E_POINTER;
    *value = TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_RasterizationScaleChanged(ICoreWebView2RasterizationScaleChangedEventHandler*,
                                                          EventRegistrationToken* token) override {
    return no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_RasterizationScaleChanged(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_BoundsMode(COREWEBVIEW2_BOUNDS_MODE* mode) override {
    if (!mode) return E_POINTER;
    *mode = COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_BoundsMode(COREWEBVIEW2_BOUNDS_MODE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_AllowExternalDrop(BOOL* value) override {
    if (!value) return E_POINTER;
    *value = allow_drop_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AllowExternalDrop(BOOL value) override {
    allow_drop_ = value;
    return S_OK;
  }

 private:
  static HRESULT no_event(EventRegistrationToken* token) {
    if (!token) return E_POINTER;
    token->value = next_token();
    return S_OK;
  }

  std::shared_ptr<PageSession> session_;
  ComPtr<WebView> web_view_;
  BOOL visible_ = TRUE;
  BOOL allow_drop_ = TRUE;
};

// --- the environment -----------------------------------------------------------------

// Brings a new page up: a target of its own, attached as a flat session,
// with lifecycle events, the message binding and the page shim in place
// before the caller's first navigation.
void start_page(std::shared_ptr<PageSession> session, ComPtr<Controller> controller,
                ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> handler) {
  auto fail = [handler] { handler->Invoke(E_FAIL, nullptr); };
  session->connection->send(
      "Target.createTarget", R"({"url":"about:blank","newWindow":true})", "",
      [session, controller, handler, fail](CdpMessage& created) {
        session->target_id = created.body.get_string("targetId", "");
        if (created.failed || session->target_id.empty()) return fail();
        std::string params = "{\"targetId\":";
        append_json_quoted(session->target_id, params);
        params += ",\"flatten\":true}";
        session->connection->send(
            "Target.attachToTarget", std::move(params), "",
            [session, controller, handler, fail](CdpMessage& attached) {
              session->session_id = attached.body.get_string("sessionId", "");
              if (attached.failed || session->session_id.empty()) return fail();
              std::weak_ptr<PageSession> weak = session;
              session->connection->subscribe(session->session_id, [weak](CdpMessage& event) {
                if (auto page = weak.lock()) page->on_event(event);
              });
              std::string binding = R"({"name":)";
              append_json_quoted(kBinding, binding);
              binding += '}';
              std::string shim = R"({"source":)";
              append_json_quoted(page_shim_script(kBinding, drive_roots()), shim);
              shim += '}';
              const std::pair<const char*, std::string> setup[] = {
                  {"Page.enable", "{}"},
                  {"Page.setLifecycleEventsEnabled", R"({"enabled":true})"},
                  {"Runtime.enable", "{}"},
                  {"Runtime.addBinding", binding},
                  {"Page.addScriptToEvaluateOnNewDocument", shim},
                  {"Emulation.setFocusEmulationEnabled", R"({"enabled":true})"},
              };
              auto remaining = std::make_shared<int>(static_cast<int>(std::size(setup)));
              auto failed = std::make_shared<bool>(false);
              for (const auto& [method, params] : setup) {
                session->send(method, params, [session, controller, handler, remaining, failed](CdpMessage& reply) {
                  if (*failed) return;
                  if (reply.failed) {
                    *failed = true;
                    handler->Invoke(E_FAIL, nullptr);
                    return;
                  }
                  if (--*remaining > 0) return;
                  session->ready = true;
                  session->apply_bounds();
                  handler->Invoke(S_OK, controller.get());
                });
              }
            });
      });
}

class Environment final : public ICoreWebView2Environment6, public RefCounted {
 public:
  Environment(std::shared_ptr<CdpConnection> connection, std::wstring version)
      : connection_(std::move(connection)), version_(std::move(version)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2Environment), __uuidof(ICoreWebView2Environment2),
                               __uuidof(ICoreWebView2Environment3), __uuidof(ICoreWebView2Environment4),
                               __uuidof(ICoreWebView2Environment5), __uuidof(ICoreWebView2Environment6)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (!handler) return E_POINTER;
    if (!parent || !IsWindow(parent)) return E_INVALIDARG;
    auto session = std::make_shared<PageSession>();
    session->connection = connection_;
    session->parent = parent;
    GetClientRect(parent, &session->bounds);
    ComPtr<Controller> controller(new Controller(session));
    start_page(session, controller,
               ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::retain(handler));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream*, int, LPCWSTR, LPCWSTR,
                                                      ICoreWebView2WebResourceResponse**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* version) override { return copy_out(version_, version); }
  HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(ICoreWebView2NewBrowserVersionAvailableEventHandler*,
                                                           EventRegistrationToken* token) override {
    if (!token) return E_POINTER;
    token->value = next_token();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CreateWebResourceRequest(LPCWSTR, LPCWSTR, IStream*, LPCWSTR,
                                                     ICoreWebView2WebResourceRequest**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2CompositionController(
      HWND, ICoreWebView2CreateCoreWebView2CompositionControllerCompletedHandler*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2PointerInfo(ICoreWebView2PointerInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAutomationProviderForWindow(HWND, IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE add_BrowserProcessExited(ICoreWebView2BrowserProcessExitedEventHandler*,
                                                     EventRegistrationToken* token) override {
    if (!token) return E_POINTER;
    token->value = next_token();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CreatePrintSettings(ICoreWebView2PrintSettings** settings) override {
    if (!settings) return E_POINTER;
    *settings = new PrintSettings();
    return S_OK;
  }

 private:
  std::shared_ptr<CdpConnection> connection_;
  std::wstring version_;
};

}  // namespace

ICoreWebView2Environment* create_environment(std::shared_ptr<CdpConnection> connection,
                                             std::wstring browser_version) {
  return new Environment(std::move(connection), std::move(browser_version));
}

std::wstring version_of(const std::string& browser) {
  const std::size_t slash = browser.find('/');
  return to_utf16(slash == std::string::npos ? browser : browser.substr(slash + 1));
}

}  // namespace vesk::cdp
