// Our side of the WebView2 ABI comparison: webhost/webview2_api.h's own
// declarations, IIDs as __uuidof gives them.
#define VESK_OWN_WEBVIEW2_API
#include "webhost/webview2_api.h"

#include "tests/win/webview2_abi_table.h"

std::vector<AbiRow> own_webview2_abi() {
  std::vector<AbiRow> rows;
#define VESK_ABI_INTERFACE(I) rows.push_back({#I, __uuidof(I), -1});
#define VESK_ABI_METHOD(I, M) rows.push_back({#I "::" #M, {}, vtable_slot(&I::M)});
#include "tests/win/webview2_abi_list.h"
  return rows;
}
