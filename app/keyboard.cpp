#include "app/keyboard.h"

#include "core/commands.h"

namespace vesk::win {
namespace {

// The left Ctrl that Windows adds to AltGr has this bit in its scan code.
constexpr std::uint32_t kSyntheticScanBit = 0x200;

// AltGr's Ctrl and Alt do not count; a right Ctrl or left Alt held with it
// still does.
ModifierMask without_altgr(const KeyboardState& state, ModifierMask mask) {
  if (!state.altgr()) return mask;
  mask &= static_cast<ModifierMask>(~(kModCtrl | kModAlt));
  if (state.right_ctrl) mask |= kModCtrl;
  if (state.left_alt) mask |= kModAlt;
  return mask;
}

void track_modifier(KeyboardState& state, const KeyEvent& event) {
  const bool pending = state.ctrl_press_pending;
  state.ctrl_press_pending = false;
  switch (event.virtual_key) {
    case kVkShift:
    case kVkLShift:
    case kVkRShift:
      state.shift = event.press;
      break;
    case kVkControl:
    case kVkLControl:
      if (!event.press) {
        state.left_ctrl = false;
        state.synthetic_ctrl = false;
      } else if (!state.left_ctrl) {  // not an auto-repeat
        state.left_ctrl = true;
        state.synthetic_ctrl = (event.scan_code & kSyntheticScanBit) != 0;
        state.ctrl_press_pending = true;
        state.ctrl_press_time = event.time;
      }
      break;
    case kVkRControl:
      state.right_ctrl = event.press;
      break;
    case kVkMenu:
    case kVkLMenu:
      state.left_alt = event.press;
      break;
    case kVkRMenu:
      state.right_alt = event.press;
      // Windows stamps the made-up Ctrl with the right Alt's own time; a Ctrl
      // a person pressed comes at least a moment earlier.
      if (event.press && pending && state.ctrl_press_time == event.time) state.synthetic_ctrl = true;
      break;
    default:
      break;
  }
}

}  // namespace

void resync_modifiers(KeyboardState& state, bool ctrl, bool shift, bool alt) {
  if (!ctrl) {
    state.left_ctrl = state.right_ctrl = state.synthetic_ctrl = false;
  } else if (!state.left_ctrl && !state.right_ctrl) {
    state.left_ctrl = true;
  }
  state.shift = shift;
  if (!alt) {
    state.left_alt = state.right_alt = false;
  } else if (!state.left_alt && !state.right_alt) {
    state.left_alt = true;
  }
  state.ctrl_press_pending = false;
  state.last_hooked_key = 0;
}

ModifierMask effective_modifiers(const KeyboardState& state, ModifierMask reported) {
  ModifierMask mask = reported & (kModCtrl | kModShift | kModAlt);
  if (state.left_ctrl || state.right_ctrl) mask |= kModCtrl;
  if (state.shift) mask |= kModShift;
  if (state.left_alt || state.right_alt) mask |= kModAlt;
  return without_altgr(state, mask);
}

HookDecision decide_hook_key(KeyboardState& state, const KeyEvent& event, bool ours_in_front,
                             ModifierMask reported) {
  track_modifier(state, event);
  HookDecision decision;
  if (!event.press) {
    state.last_hooked_key = 0;
    return decision;
  }
  if (!ours_in_front) return decision;
  // Auto-repeat of a key that already ran its command stays silent until
  // some key is released.
  if (event.virtual_key == state.last_hooked_key) {
    decision.swallow = true;
    return decision;
  }
  decision.mask = effective_modifiers(state, reported);
  int command = 0;
  if (!find_command_for_key(decision.mask, event.virtual_key, command)) return decision;
  state.last_hooked_key = event.virtual_key;
  decision.swallow = true;
  decision.command = command;
  return decision;
}

bool command_starts_modal_flow(int command) {
  return command >= command_id(Command::New) && command <= command_id(Command::ExportPdf);
}

PageKeyDecision decide_page_key(const KeyboardState& state, std::uint32_t key, ModifierMask mask,
                                bool repeat) {
  PageKeyDecision decision;
  decision.mask = without_altgr(state, mask);
  if (!find_command_for_key(decision.mask, key, decision.bound)) {
    decision.bound = 0;
    return decision;
  }
  decision.consume = true;
  if (!(repeat && command_starts_modal_flow(decision.bound))) decision.command = decision.bound;
  return decision;
}

}  // namespace vesk::win
