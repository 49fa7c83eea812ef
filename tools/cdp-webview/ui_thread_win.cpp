#include "ui_thread_win.h"

#include <atomic>
#include <memory>

namespace vesk::cdp {
namespace {

constexpr UINT kTaskMessage = WM_APP + 0x3D0;
constexpr UINT_PTR kTickTimer = 1;
std::atomic<UiThread*> g_instance{nullptr};

}  // namespace

UiThread::UiThread() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &UiThread::procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"VeskCdpWebViewMailbox";
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            window_class.hInstance, nullptr);
}

UiThread& UiThread::on_this_thread() {
  if (UiThread* existing = g_instance.load()) return *existing;
  auto* created = new UiThread();
  g_instance.store(created);
  return *created;
}

UiThread* UiThread::instance() { return g_instance.load(); }

bool UiThread::post(std::function<void()> task) {
  auto* heap = new std::function<void()>(std::move(task));
  if (window_ && PostMessageW(window_, kTaskMessage, 0, reinterpret_cast<LPARAM>(heap))) return true;
  delete heap;
  return false;
}

void UiThread::every(unsigned period_ms, std::function<void()> tick) {
  tick_ = std::move(tick);
  SetTimer(window_, kTickTimer, period_ms, nullptr);
}

LRESULT CALLBACK UiThread::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTaskMessage) {
    std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lparam));
    // Nothing may unwind into the caller's message loop.
    try {
      if (task && *task) (*task)();
    } catch (...) {
    }
    return 0;
  }
  if (message == WM_TIMER && wparam == kTickTimer) {
    if (UiThread* self = g_instance.load(); self && self->tick_) {
      try {
        self->tick_();
      } catch (...) {
      }
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace vesk::cdp
