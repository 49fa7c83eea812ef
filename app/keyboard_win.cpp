// The three keyboard paths into commands: the low-level hook (the page has
// focus and its keys never reach our message loop), the web control's
// accelerator event, and the window's own key-down.
#include <windows.h>

#include "app/clipboard.h"
#include "app/main_window.h"
#include "app/shortcuts.h"
#include "platform/callback_guard.h"
#include "platform/diagnostics.h"

namespace vesk::win {
namespace {

bool key_is_down(int key) { return GetKeyState(key) < 0; }
bool key_is_down_now(int key) { return GetAsyncKeyState(key) < 0; }

ModifierMask current_modifiers() {
  ModifierMask mask = 0;
  if (key_is_down(VK_CONTROL)) mask |= kModCtrl;
  if (key_is_down(VK_SHIFT)) mask |= kModShift;
  if (key_is_down(VK_MENU)) mask |= kModAlt;
  return mask;
}

void log_key(std::uint32_t key, ModifierMask mask, const int* command) {
  if (!keylog_enabled()) return;
  std::string line = "NATIVE key vk=" + std::to_string(key) + " mods=" + std::to_string(mask);
  if (command) line += " cmd=" + std::to_string(*command);
  write_diagnostic_line(line);
}

LRESULT handle_hooked_key(int code, WPARAM wparam, LPARAM lparam) {
  VeskMainWindow* window = main_window_instance;
  if (code != HC_ACTION || !window || !window->window()) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  const std::uint32_t key = event->vkCode;
  const bool press = wparam == WM_KEYDOWN || wparam == WM_SYSKEYDOWN;
  const bool release = wparam == WM_KEYUP || wparam == WM_SYSKEYUP;

  // Modifiers are followed whatever window is in front, so the state is
  // right when our window comes back to the front with a key held.
  if (press || release) {
    if (key == VK_SHIFT || key == VK_LSHIFT || key == VK_RSHIFT) window->shift_down = press;
    if (key == VK_CONTROL || key == VK_LCONTROL || key == VK_RCONTROL) window->ctrl_down = press;
    if (key == VK_MENU || key == VK_LMENU || key == VK_RMENU) window->alt_down = press;
  }
  if (release) {
    window->last_hooked_key = 0;
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  if (!press) return CallNextHookEx(nullptr, code, wparam, lparam);

  HWND foreground = GetForegroundWindow();
  if (!foreground || GetAncestor(foreground, GA_ROOT) != window->window()) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  // Auto-repeat of a key that already ran its command stays silent until
  // some key is released.
  if (key == window->last_hooked_key) return 1;

  ModifierMask mask = 0;
  if (window->ctrl_down || key_is_down_now(VK_CONTROL)) mask |= kModCtrl;
  if (window->shift_down || key_is_down_now(VK_SHIFT)) mask |= kModShift;
  if (window->alt_down || key_is_down_now(VK_MENU)) mask |= kModAlt;
  int command = 0;
  if (!find_command_for_key(mask, key, command)) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  window->last_hooked_key = key;
  log_key(key, mask, nullptr);
  PostMessageW(window->window(), kRunCommandMessage, static_cast<WPARAM>(command), 0);
  return 1;
}

LRESULT CALLBACK low_level_key_hook(int code, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (run_guarded([&] { result = handle_hooked_key(code, wparam, lparam); })) return result;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

void VeskMainWindow::install_keyboard_hook() {
  ctrl_down = key_is_down_now(VK_CONTROL);
  shift_down = key_is_down_now(VK_SHIFT);
  alt_down = key_is_down_now(VK_MENU);
  keyboard_hook = SetWindowsHookExW(WH_KEYBOARD_LL, low_level_key_hook, GetModuleHandleW(nullptr), 0);
  write_diagnostic_line(keyboard_hook ? "NATIVE keyboard hook on" : "NATIVE keyboard hook failed");
}

bool VeskMainWindow::handle_page_accelerator(std::uint32_t key, std::uint16_t modifiers) {
  const auto mask = static_cast<ModifierMask>(modifiers);
  int command = 0;
  const bool found = find_command_for_key(mask, key, command);
  log_key(key, mask, found ? &command : nullptr);

  if (key == 'V' && mask == kModCtrl) {
    // An image on the clipboard is pasted natively, into assets/; text is
    // left to the page's own paste.
    if (core_ && !source_view_ && clipboard_has_image()) {
      core_->edit_command("paste");
      return true;
    }
    return false;
  }
  if (!found) return false;
  run_command(command);
  return true;
}

bool VeskMainWindow::handle_key_down(std::uint32_t key) {
  int command = 0;
  if (!find_command_for_key(current_modifiers(), key, command)) return false;
  run_command(command);
  return true;
}

}  // namespace vesk::win
