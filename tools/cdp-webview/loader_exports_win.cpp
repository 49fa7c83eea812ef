// The two exports of WebView2Loader.dll, answered from a browser that the
// test harness (or scripts/run) started with a DevTools port.
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "cdp_connection_win.h"
#include "environment_win.h"
#include "ui_thread_win.h"
#include "webhost/webview2_api.h"
#include "platform/com.h"

using vesk::win::ComPtr;

namespace {

constexpr HRESULT kNoRuntime = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// The caller frees its loader when it closes, but our threads and objects
// may outlive that moment; this library therefore stays for the process.
void pin_this_library() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&pin_this_library), &self);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
GetAvailableCoreWebView2BrowserVersionString(PCWSTR, LPWSTR* version) {
  if (!version) return E_POINTER;
  *version = nullptr;
  const int port = vesk::cdp::devtools_port();
  if (port == 0) return kNoRuntime;
  vesk::cdp::BrowserEndpoint endpoint;
  std::string error;
  // Bounded: this runs on the caller's UI thread.
  if (!vesk::cdp::query_browser(port, endpoint, error, 3000)) return kNoRuntime;
  const std::wstring text = vesk::cdp::version_of(endpoint.browser);
  *version = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!*version) return E_OUTOFMEMORY;
  text.copy(*version, text.size());
  (*version)[text.size()] = L'\0';
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (!handler) return E_POINTER;
  const int port = vesk::cdp::devtools_port();
  if (port == 0) return kNoRuntime;
  pin_this_library();
  vesk::cdp::UiThread::on_this_thread();

  auto hold = ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::retain(handler);
  // Connecting takes a moment, and a browser that does not answer must not
  // freeze the caller: connect elsewhere, answer on the UI thread.
  std::thread([port, hold]() mutable {
    std::string error;
    std::shared_ptr<vesk::cdp::CdpConnection> connection = vesk::cdp::CdpConnection::open(port, error);
    std::wstring version;
    if (connection) {
      vesk::cdp::BrowserEndpoint endpoint;
      if (vesk::cdp::query_browser(port, endpoint, error, 3000)) version = vesk::cdp::version_of(endpoint.browser);
    }
    auto answer = [connection, version, hold]() {
      if (!connection) {
        hold->Invoke(HRESULT_FROM_WIN32(ERROR_CONNECTION_REFUSED), nullptr);
        return;
      }
      ComPtr<ICoreWebView2Environment> environment(vesk::cdp::create_environment(connection, version));
      hold->Invoke(S_OK, environment.get());
    };
    vesk::cdp::UiThread::instance()->post(std::move(answer));
  }).detach();
  return S_OK;
}
