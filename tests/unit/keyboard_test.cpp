// Whole key sequences through the hook's decision and the page's accelerator
// path, as Windows reports them: held keys and auto-repeat, another window in
// front, AltGr, and a release lost to the secure desktop.
#include "app/keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk::win {
namespace {

constexpr std::uint32_t kVkF4 = 0x73;

// A sequence player: each step is one event; what the hook posted, and the
// keys it let through, are collected.
class Keys {
 public:
  void down(std::uint32_t key, std::uint32_t scan = 0, std::uint32_t flags = 0) { send(key, scan, flags, true); }
  void up(std::uint32_t key, std::uint32_t scan = 0, std::uint32_t flags = 0) {
    send(key, scan, flags | kKeyFlagUp, false);
  }
  void tick(std::uint32_t ms) { time += ms; }
  // What the system's own key state says (GetAsyncKeyState).
  ModifierMask reported = 0;
  bool in_front = true;
  KeyboardState state;
  std::vector<int> posted;
  std::string passed;  // the pressed keys that went on, as characters
  std::uint32_t time = 1000;

 private:
  void send(std::uint32_t key, std::uint32_t scan, std::uint32_t flags, bool press) {
    const HookDecision decision = decide_hook_key(state, {key, scan, flags, time, press}, in_front, reported);
    if (decision.command) posted.push_back(decision.command);
    if (press && !decision.swallow && key >= 'A' && key <= 'Z') passed += static_cast<char>(key);
  }
};

TEST(KeyboardHook, HeldKeysRunTheirCommandOnce) {
  Keys k;
  k.down(kVkLControl);
  k.down('S');
  k.down('S');  // auto-repeat
  k.down(kVkLControl);  // the held Ctrl repeats too
  k.down('S');
  k.up('S');
  k.down('Z');
  k.down('Z');
  k.up('Z');
  k.down('Z');  // Z again with Ctrl still held: undo again
  k.up('Z');
  k.down(kVkLShift);
  k.down('S');
  k.up(kVkLShift);
  k.up(kVkLControl);
  k.down('E');
  EXPECT_EQ(k.posted, (std::vector<int>{3, 7, 7, 4}));
  EXPECT_EQ(k.passed, "E");
}

TEST(KeyboardHook, OtherWindowsAndUnboundKeysPass) {
  Keys k;
  k.in_front = false;
  k.down(kVkLControl);
  k.down('S');
  EXPECT_TRUE(k.posted.empty()) << "another program's Ctrl+S";
  k.in_front = true;  // Ctrl still held as our window comes to the front
  k.down('B');
  k.up('B');
  k.down(kVkLShift);
  k.down('J');  // Ctrl+Shift+J: bound to nothing
  k.up(kVkLShift);
  k.up(kVkLControl);
  k.down(kVkLMenu);
  k.down(kVkF4);  // Alt+F4 closes the window as usual
  k.up(kVkF4);
  k.up(kVkLMenu);
  k.down(kVkRMenu, 0x38, kKeyFlagExtended);  // right Alt with no AltGr: plain Alt
  k.down(kVkF4);
  EXPECT_EQ(k.posted, std::vector<int>{13});
  EXPECT_EQ(k.passed, "SJ");
}

TEST(KeyboardHook, AltGrIsNeverCtrlAlt) {
  // AltGr+E (a euro sign on a German layout): Windows sends a made-up left
  // Ctrl, stamped with the right Alt's time, then the right Alt; the system's
  // key state then says Ctrl and Alt are down.
  for (const std::uint32_t ctrl_scan : {0x21Du, 0x1Du}) {
    Keys k;
    k.down(kVkLControl, ctrl_scan);
    k.down(kVkRMenu, 0x38, kKeyFlagExtended);
    k.reported = kModCtrl | kModAlt;
    k.down('E');
    k.up('E');
    EXPECT_TRUE(k.posted.empty()) << ctrl_scan;
    EXPECT_EQ(k.passed, "E");
    EXPECT_EQ(decide_page_key(k.state, 'E', kModCtrl | kModAlt, false).bound, 0);
    // A real right Ctrl held with AltGr still counts.
    k.down(kVkRControl, 0x1D, kKeyFlagExtended);
    k.down('E');
    EXPECT_EQ(k.posted, std::vector<int>{28});
  }
  // A person's Ctrl, pressed a moment before the right Alt, is a real Ctrl.
  Keys k;
  k.down(kVkLControl, 0x1D);
  k.tick(40);
  k.down(kVkRMenu, 0x38, kKeyFlagExtended);
  k.down('E');
  EXPECT_EQ(k.posted, std::vector<int>{5});
}

TEST(KeyboardHook, ActivationForgetsReleasesItNeverSaw) {
  Keys k;
  k.down(kVkLControl);
  k.down(kVkLMenu);
  // Delete: the secure desktop takes over and both releases go to it.
  k.in_front = false;
  k.down(0x2E);
  k.in_front = true;
  resync_modifiers(k.state, false, false, false);  // our window is active again
  k.down('E');
  EXPECT_TRUE(k.posted.empty());
  EXPECT_EQ(k.passed, "E");
  // A modifier really held at activation stays held.
  resync_modifiers(k.state, true, false, false);
  k.down('S');
  EXPECT_EQ(k.posted, std::vector<int>{3});
}

TEST(PageKeys, RepeatsOfDialogCommandsAreSwallowedNotRun) {
  const KeyboardState none;
  struct Case {
    std::uint32_t key;
    ModifierMask mask;
    bool repeat;
    int command;
    bool consume;
  } const cases[] = {
      {'S', kModCtrl, false, 3, true},  {'S', kModCtrl, true, 0, true},
      {'S', kModCtrl | kModShift, true, 0, true}, {'O', kModCtrl, true, 0, true},
      {'N', kModCtrl, true, 0, true},   {'E', kModCtrl | kModAlt, true, 0, true},
      {'P', kModCtrl, true, 0, true},   {'Z', kModCtrl, true, 7, true},  // undo repeats
      {187, kModCtrl, true, 31, true},  {kVkF4, kModAlt, false, 0, false},
      {'J', kModCtrl | kModShift, false, 0, false},
  };
  for (const Case& c : cases) {
    const PageKeyDecision decision = decide_page_key(none, c.key, c.mask, c.repeat);
    EXPECT_EQ(decision.command, c.command) << c.key << " " << int(c.mask) << " " << c.repeat;
    EXPECT_EQ(decision.consume, c.consume) << c.key << " " << int(c.mask) << " " << c.repeat;
  }
}

}  // namespace
}  // namespace vesk::win
