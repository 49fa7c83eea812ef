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

ModifierMask reported_modifiers() {
  ModifierMask mask = 0;
  if (key_is_down_now(VK_CONTROL)) mask |= kModCtrl;
  if (key_is_down_now(VK_SHIFT)) mask |= kModShift;
  if (key_is_down_now(VK_MENU)) mask |= kModAlt;
  return mask;
}

LRESULT handle_hooked_key(int code, WPARAM wparam, LPARAM lparam) {
  VeskMainWindow* window = main_window_instance;
  if (code != HC_ACTION || !window || !window->window()) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  const bool press = wparam == WM_KEYDOWN || wparam == WM_SYSKEYDOWN;
  const bool release = wparam == WM_KEYUP || wparam == WM_SYSKEYUP;
  if (!press && !release) return CallNextHookEx(nullptr, code, wparam, lparam);

  const auto* raw = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  KeyEvent event;
  event.virtual_key = raw->vkCode;
  event.scan_code = raw->scanCode;
  event.flags = raw->flags;
  event.time = raw->time;
  event.press = press;
  bool ours_in_front = false;
  if (press) {
    HWND foreground = GetForegroundWindow();
    ours_in_front = foreground && GetAncestor(foreground, GA_ROOT) == window->window();
  }
  const HookDecision decision =
      decide_hook_key(window->keys, event, ours_in_front, ours_in_front ? reported_modifiers() : 0);
  if (decision.command != 0) {
    log_key(event.virtual_key, decision.mask, nullptr);
    PostMessageW(window->window(), kRunCommandMessage, static_cast<WPARAM>(decision.command), 0);
  }
  if (decision.swallow) return 1;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK low_level_key_hook(int code, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (run_guarded([&] { result = handle_hooked_key(code, wparam, lparam); })) return result;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

void VeskMainWindow::resync_keyboard() {
  resync_modifiers(keys, key_is_down_now(VK_CONTROL), key_is_down_now(VK_SHIFT), key_is_down_now(VK_MENU));
}

void VeskMainWindow::install_keyboard_hook() {
  resync_keyboard();
  keyboard_hook = SetWindowsHookExW(WH_KEYBOARD_LL, low_level_key_hook, GetModuleHandleW(nullptr), 0);
  write_diagnostic_line(keyboard_hook ? "NATIVE keyboard hook on" : "NATIVE keyboard hook failed");
}

bool VeskMainWindow::handle_page_accelerator(std::uint32_t key, std::uint16_t modifiers, bool repeat) {
  const PageKeyDecision decision = decide_page_key(keys, key, static_cast<ModifierMask>(modifiers), repeat);
  const ModifierMask mask = decision.mask;
  log_key(key, mask, decision.bound != 0 ? &decision.bound : nullptr);

  if (key == 'V' && mask == kModCtrl) {
    // An image on the clipboard is pasted natively, into assets/; text is
    // left to the page's own paste.
    if (core_ && !source_view_ && clipboard_has_image()) {
      core_->edit_command("paste");
      return true;
    }
    return false;
  }
  if (decision.command != 0) {
    // The page stands still inside this event until we answer: a command
    // that opens a dialog or prints the page (which needs the page running)
    // runs once the event is over, as it does from the menu.
    if (command_starts_modal_flow(decision.command)) {
      PostMessageW(window_, kRunCommandMessage, static_cast<WPARAM>(decision.command), 0);
    } else {
      run_command(decision.command);
    }
  }
  return decision.consume;
}

bool VeskMainWindow::handle_key_down(std::uint32_t key, bool repeat) {
  const PageKeyDecision decision = decide_page_key(keys, key, current_modifiers(), repeat);
  if (decision.command != 0) run_command(decision.command);
  return decision.consume;
}

}  // namespace vesk::win
