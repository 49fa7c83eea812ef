// A WebView2Loader.dll for the web host's Windows tests: its two exports
// forward to whatever the test program installed, so the fake control itself
// lives in the test and can be driven and inspected there.
#include <windows.h>

#include <objbase.h>

namespace {

using VersionFunction = HRESULT(STDAPICALLTYPE*)(PCWSTR, LPWSTR*);
using CreateFunction = HRESULT(STDAPICALLTYPE*)(PCWSTR, PCWSTR, void*, void*);

VersionFunction g_version = nullptr;
CreateFunction g_create = nullptr;

}  // namespace

extern "C" __declspec(dllexport) void vesk_fake_loader_install(VersionFunction version, CreateFunction create) {
  g_version = version;
  g_create = create;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
GetAvailableCoreWebView2BrowserVersionString(PCWSTR folder, LPWSTR* version) {
  return g_version ? g_version(folder, version) : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR folder, PCWSTR data, void* options, void* handler) {
  return g_create ? g_create(folder, data, options, handler) : E_FAIL;
}
