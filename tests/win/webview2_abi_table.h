// One side of the WebView2 ABI comparison: a table of every interface's IID
// and every method's vtable slot, built in its own translation unit from
// either our declarations or Microsoft's header (the two cannot meet in one).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/unit/vtable_slot.h"

struct AbiRow {
  std::string name;  // "ICoreWebView2" or "ICoreWebView2::Navigate"
  GUID iid{};        // interfaces only
  std::intptr_t slot = -1;  // methods only
};

std::vector<AbiRow> own_webview2_abi();
std::vector<AbiRow> official_webview2_abi();

