#include "control_rules_win.h"

#include <windows.h>

#include <memory>

#include "ui_thread_win.h"

namespace vesk::cdp {

bool late_web_messages() {
  wchar_t value[4] = {};
  return GetEnvironmentVariableW(L"VESK_CDP_LATE_MESSAGES", value, 4) > 0 && value[0] != L'0';
}

void LateMessages::post(std::string script, Send send) {
  if (!late_web_messages()) {
    send(script);
    return;
  }
  held_.emplace_back(std::move(script), std::move(send));
  if (flush_posted_) return;
  UiThread* thread = UiThread::instance();
  // The holder lives as long as its session, which outlives the UI thread's
  // tasks only while it is open: the task reaches it through a weak handle.
  std::weak_ptr<bool> alive = alive_;
  if (thread && thread->post([this, alive] {
        if (alive.lock()) flush();
      })) {
    flush_posted_ = true;
  } else {
    flush();
  }
}

void LateMessages::flush() {
  flush_posted_ = false;
  auto held = std::move(held_);
  held_.clear();
  for (auto& [script, send] : held) send(script);
}

void dispatch_pending_messages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace vesk::cdp
