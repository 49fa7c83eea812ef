// What the WebView2 objects of this loader share: the names they use from the
// product's COM helpers, the binding the page posts through, and returning
// text the way WebView2 does (CoTaskMemAlloc'd, the caller frees it).
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/com.h"
#include "platform/strings.h"
#include "webhost/com_object.h"

namespace vesk::cdp {

using win::ComPtr;
using win::query_interface_of;
using win::RefCounted;
using win::to_utf16;
using win::to_utf8;

inline constexpr char kBinding[] = "__veskCdpPost";
inline constexpr HRESULT kClosed = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

inline LPWSTR co_task_copy(std::wstring_view text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  text.copy(copy, text.size());
  copy[text.size()] = L'\0';
  return copy;
}

inline HRESULT copy_out(std::wstring_view text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = co_task_copy(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vesk::cdp

// A BOOL property of a settings object: get_Name and put_Name over `field`.
// Used inside the class body of a settings object.
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
