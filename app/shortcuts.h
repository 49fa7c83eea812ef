// Shortcut strings ("cmd+shift+s") as Windows keys and menu text, the menu
// layout, and the lookup from a pressed key to its command. Portable: the
// menu bar, the accelerator table and the three keyboard paths share it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::win {

// The Win32 accelerator flag bits, so a mask is usable as-is in an ACCEL.
using ModifierMask = std::uint8_t;
inline constexpr ModifierMask kModShift = 0x04;
inline constexpr ModifierMask kModCtrl = 0x08;
inline constexpr ModifierMask kModAlt = 0x10;
inline constexpr std::uint8_t kVirtualKeyFlag = 0x01;  // FVIRTKEY

struct MenuSection {
  int kind;                // 0 file, 1 edit, 2 format, 3 view
  std::string title;       // without access key
  std::vector<int> items;  // command ids; 0 is a separator
};

// The four menus, in order. Built once, never changed.
const std::vector<MenuSection>& menu_sections();
// The menu-bar label of a section: "文件(&F)" and so on.
std::string menu_bar_label(const MenuSection& section);
// "Ctrl+Shift+S" for "cmd+shift+s"; unknown tokens shown upper-cased.
std::string format_shortcut(std::string_view shortcut);
// The item text: label, and a tab and the first shortcut when there is one.
std::string menu_item_text(int command_id);

// True when the string names a key (modifiers alone do not).
bool parse_shortcut(std::string_view shortcut, ModifierMask& modifiers, std::uint32_t& key);

struct AcceleratorEntry {
  std::uint8_t flags;  // modifiers | kVirtualKeyFlag
  std::uint16_t key;
  int command;
};
// Every bindable shortcut in menu order; the first binding of a key wins.
// Cut, copy, paste and select all are left to the page.
std::vector<AcceleratorEntry> accelerator_entries();
// The command bound to exactly this modifier set and key.
bool find_command_for_key(ModifierMask modifiers, std::uint32_t key, int& command);

}  // namespace vesk::win
