// The UI thread's mailbox: a message-only window created on the thread that
// created the environment. Anything that must reach the caller (replies,
// events, completions) is posted here, so it runs on that thread from its
// message loop and never inside the call that started it.
#pragma once

#include <windows.h>

#include <functional>

namespace vesk::cdp {

class UiThread {
 public:
  // Creates the window on the calling thread (once per process).
  static UiThread& on_this_thread();
  // The instance, or null before on_this_thread(); never freed, because the
  // reader thread may post to it while the process winds down.
  static UiThread* instance();

  // Any thread. False (and the task dropped) when the window is gone.
  bool post(std::function<void()> task);
  // Runs `tick` on the UI thread about every `period_ms`.
  void every(unsigned period_ms, std::function<void()> tick);

 private:
  UiThread();
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  std::function<void()> tick_;
};

}  // namespace vesk::cdp
