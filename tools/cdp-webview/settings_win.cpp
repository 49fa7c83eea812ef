#include "settings_win.h"

#include <string>

#include "webview_support_win.h"

namespace vesk::cdp {
namespace {

class Settings final : public ICoreWebView2Settings3, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2Settings), __uuidof(ICoreWebView2Settings2),
                               __uuidof(ICoreWebView2Settings3)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

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

}  // namespace

ICoreWebView2Settings* new_settings() { return new Settings(); }

}  // namespace vesk::cdp
