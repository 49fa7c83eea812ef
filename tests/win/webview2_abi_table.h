// One side of the WebView2 ABI comparison: a table of every interface's IID
// and every method's vtable slot, built in its own translation unit from
// either our declarations or Microsoft's header (the two cannot meet in one).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct AbiRow {
  std::string name;  // "ICoreWebView2" or "ICoreWebView2::Navigate"
  GUID iid{};        // interfaces only
  std::intptr_t slot = -1;  // methods only
};

std::vector<AbiRow> own_webview2_abi();
std::vector<AbiRow> official_webview2_abi();

namespace {

// Itanium C++ ABI (mingw-w64 g++): a pointer to a virtual member holds
// 1 + the byte offset of its vtable entry in its first word.
template <typename Member>
std::intptr_t vtable_slot(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(std::intptr_t));
  std::intptr_t words[2];
  std::memcpy(words, &member, sizeof words);
  return (words[0] - 1) / static_cast<std::intptr_t>(sizeof(void*));
}

}  // namespace
