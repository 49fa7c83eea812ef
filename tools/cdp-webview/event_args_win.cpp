#include "event_args_win.h"

#include <utility>

#include "core/json.h"
#include "webview_support_win.h"

namespace vesk::cdp {
namespace {

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
  AcceleratorArgs(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT key, bool repeat) : kind_(kind), key_(key), repeat_(repeat) {}
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
    const bool up = kind_ == COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP || kind_ == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP;
    status->IsMenuKeyDown = kind_ == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN;
    // As WM_KEYDOWN's lParam has it: a key-up's key was down before, and so
    // was an auto-repeat's.
    status->WasKeyDown = (up || repeat_) ? TRUE : FALSE;
    status->IsKeyReleased = up ? TRUE : FALSE;
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
  bool repeat_;
  bool handled_ = false;
};

}  // namespace

ICoreWebView2WebMessageReceivedEventArgs* new_web_message_args(std::wstring source, std::wstring json) {
  return new WebMessageArgs(std::move(source), std::move(json));
}

ICoreWebView2NavigationCompletedEventArgs* new_navigation_args(bool success, COREWEBVIEW2_WEB_ERROR_STATUS status,
                                                               UINT64 id) {
  return new NavigationArgs(success, status, id);
}

ICoreWebView2AcceleratorKeyPressedEventArgs* new_accelerator_args(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT key,
                                                                  bool repeat) {
  return new AcceleratorArgs(kind, key, repeat);
}

}  // namespace vesk::cdp
