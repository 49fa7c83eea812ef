// What the keyboard hook and the page's accelerator path do with a key, as
// portable functions over the events Windows reports, so whole sequences
// (held keys, auto-repeat, AltGr, a key-up lost to the secure desktop) can
// be played through them on any machine.
#pragma once

#include <cstdint>

#include "app/shortcuts.h"

namespace vesk::win {

// The Win32 virtual keys and low-level hook flags we look at.
inline constexpr std::uint32_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12;
inline constexpr std::uint32_t kVkLShift = 0xA0, kVkRShift = 0xA1, kVkLControl = 0xA2,
                               kVkRControl = 0xA3, kVkLMenu = 0xA4, kVkRMenu = 0xA5;
inline constexpr std::uint32_t kKeyFlagExtended = 0x01;  // LLKHF_EXTENDED
inline constexpr std::uint32_t kKeyFlagInjected = 0x10;  // LLKHF_INJECTED
inline constexpr std::uint32_t kKeyFlagUp = 0x80;        // LLKHF_UP

// One low-level key event: the fields of KBDLLHOOKSTRUCT that matter, and
// whether the message was a press (WM_KEYDOWN, WM_SYSKEYDOWN) or a release.
struct KeyEvent {
  std::uint32_t virtual_key = 0;
  std::uint32_t scan_code = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;  // milliseconds, the event's own clock
  bool press = true;

  bool injected() const { return (flags & kKeyFlagInjected) != 0; }
};

// What the hook keeps between events.
struct KeyboardState {
  bool left_ctrl = false;
  bool right_ctrl = false;
  bool shift = false;
  bool left_alt = false;
  bool right_alt = false;
  // The left Ctrl that is down is the one Windows makes up for AltGr.
  bool synthetic_ctrl = false;
  // The last event was a left Ctrl press that turned left_ctrl on (when and
  // whether it was synthetic is only known with the right Alt that follows).
  bool ctrl_press_pending = false;
  std::uint32_t ctrl_press_time = 0;
  // The key whose press ran a command; its auto-repeat is swallowed until
  // some key is released. 0: none.
  std::uint32_t last_hooked_key = 0;

  // AltGr is held: right Alt came with a made-up left Ctrl.
  bool altgr() const { return right_alt && synthetic_ctrl; }
};

// Sets the modifiers from the real key state (GetAsyncKeyState), as when
// our window becomes active: a release we never saw (it went to the secure
// desktop, or to a program that swallowed it) must not leave a key held.
void resync_modifiers(KeyboardState& state, bool ctrl, bool shift, bool alt);

// The modifiers that count for shortcuts, from the tracked keys and those
// the system reports down right now (`reported`). AltGr is a character key
// on layouts that have it, never Ctrl+Alt.
ModifierMask effective_modifiers(const KeyboardState& state, ModifierMask reported);

struct HookDecision {
  bool swallow = false;
  int command = 0;  // to post; 0: none
  ModifierMask mask = 0;
};

// The hook's answer to one event. `ours_in_front`: the foreground window's
// root is the main window; `reported`: the modifiers GetAsyncKeyState gives.
// Modifier state follows every event, whatever window is in front.
HookDecision decide_hook_key(KeyboardState& state, const KeyEvent& event, bool ours_in_front,
                             ModifierMask reported);

// Commands that may open a dialog and write a file (new, open, save, save
// as, both exports): a held key runs them once, and none starts while a
// dialog of ours is up.
bool command_starts_modal_flow(int command);

struct PageKeyDecision {
  int bound = 0;         // the command bound to the key; 0: none
  int command = 0;       // to run now; 0: none
  bool consume = false;  // keep the key from the page
  ModifierMask mask = 0;
};

// A key the web control reports before the page sees it (`mask` from the key
// state, `repeat` when the key was already down).
PageKeyDecision decide_page_key(const KeyboardState& state, std::uint32_t key, ModifierMask mask,
                                bool repeat);

}  // namespace vesk::win
