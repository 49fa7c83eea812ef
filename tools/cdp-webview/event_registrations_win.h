// Event registrations as WebView2 keeps them: each add hands out a token
// unique in the process, remove takes it back, and raising walks a copy.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "webhost/webview2_api.h"
#include "webview_support_win.h"

namespace vesk::cdp {

inline std::int64_t next_token() {
  static std::atomic<std::int64_t> counter{0};
  return ++counter;
}

template <typename Handler>
class Handlers {
 public:
  HRESULT add(Handler* handler, EventRegistrationToken* token) {
    if (!handler || !token) return E_POINTER;
    token->value = next_token();
    list_.emplace_back(token->value, ComPtr<Handler>::retain(handler));
    return S_OK;
  }
  void remove(EventRegistrationToken token) {
    for (auto it = list_.begin(); it != list_.end(); ++it) {
      if (it->first == token.value) {
        list_.erase(it);
        return;
      }
    }
  }
  // A copy, so a handler may add or remove handlers while we walk the list.
  std::vector<ComPtr<Handler>> snapshot() const {
    std::vector<ComPtr<Handler>> copy;
    for (const auto& entry : list_) copy.push_back(entry.second);
    return copy;
  }
  void clear() { list_.clear(); }

 private:
  std::vector<std::pair<std::int64_t, ComPtr<Handler>>> list_;
};

// For the events we never raise: a token, and nothing kept.
inline HRESULT register_no_event(EventRegistrationToken* token) {
  if (!token) return E_POINTER;
  token->value = next_token();
  return S_OK;
}

}  // namespace vesk::cdp
