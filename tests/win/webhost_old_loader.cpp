// A WebView2Loader.dll from before the environment could be created with
// options: the web host must refuse it.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2Environment(void*) { return E_FAIL; }
