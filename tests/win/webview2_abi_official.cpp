// Microsoft's side of the WebView2 ABI comparison: the SDK's WebView2.h alone,
// IIDs from its own IID_ constants.
#include <windows.h>

#include <objidl.h>
#include <WebView2.h>

#include "tests/win/webview2_abi_table.h"

std::vector<AbiRow> official_webview2_abi() {
  std::vector<AbiRow> rows;
#define VESK_ABI_INTERFACE(I) rows.push_back({#I, IID_##I, -1});
#define VESK_ABI_METHOD(I, M) rows.push_back({#I "::" #M, {}, vtable_slot(&I::M)});
#include "tests/win/webview2_abi_list.h"
  return rows;
}
