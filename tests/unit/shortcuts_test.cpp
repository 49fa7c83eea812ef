// Shortcut strings as keys and menu text, the menu layout and the key →
// command lookup that all three keyboard paths rely on.
#include "app/shortcuts.h"

#include <gtest/gtest.h>

namespace vesk::win {
namespace {

TEST(Shortcuts, FormatForTheMenu) {
  const struct {
    const char* shortcut;
    const char* text;
  } cases[] = {
      {"cmd+shift+s", "Ctrl+Shift+S"}, {"cmd+option+e", "Ctrl+Alt+E"}, {"cmd+equal", "Ctrl+="},
      {"cmd+plus", "Ctrl++"},          {"cmd+/", "Ctrl+/"},            {"ctrl+slash", "Ctrl+/"},
      {"control+alt+minus", "Ctrl+Alt+-"},
      {"cmd+F5", "Ctrl+F5"},            // unknown token: shown, letters raised
      {"cmd+pgup", "Ctrl+PGUP"},       {"++cmd++k+", "Ctrl+K"},         {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(format_shortcut(c.shortcut), c.text) << c.shortcut;
}

TEST(Shortcuts, ParseIntoModifiersAndKey) {
  const struct {
    const char* shortcut;
    bool ok;
    ModifierMask modifiers;
    std::uint32_t key;
  } cases[] = {
      {"cmd+s", true, kModCtrl, 'S'},
      {"shift+cmd+s", true, kModCtrl | kModShift, 'S'},  // order does not matter
      {"option+cmd+e", true, kModCtrl | kModAlt, 'E'},
      {"cmd+0", true, kModCtrl, '0'},
      {"cmd+equal", true, kModCtrl, 187},
      {"cmd+plus", true, kModCtrl, 107},
      {"cmd+minus", true, kModCtrl, 189},
      {"cmd+/", true, kModCtrl, 191},
      {"cmd+a+b", true, kModCtrl, 'B'},  // a later key replaces an earlier one
      {"k", true, 0, 'K'},
      {"cmd+shift", false, 0, 0},        // modifiers alone bind nothing
      {"cmd+S", false, 0, 0},            // upper case is not the vocabulary
      {"Cmd+s", false, 0, 0},
      {"cmd+f5", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const auto& c : cases) {
    ModifierMask modifiers = 0xFF;
    std::uint32_t key = 0xFFFF;
    ASSERT_EQ(parse_shortcut(c.shortcut, modifiers, key), c.ok) << c.shortcut;
    if (!c.ok) continue;
    EXPECT_EQ(modifiers, c.modifiers) << c.shortcut;
    EXPECT_EQ(key, c.key) << c.shortcut;
  }
}

TEST(Shortcuts, AcceleratorTableHasTheThirtyTwoBindingsInMenuOrder) {
  const struct {
    std::uint8_t flags;
    std::uint16_t key;
    int command;
  } expected[] = {
      {0x09, 'N', 1},  {0x0D, 'N', 38}, {0x09, 'O', 2},  {0x19, 'P', 36}, {0x09, 'S', 3},
      {0x0D, 'S', 4},  {0x19, 'E', 5},  {0x09, 'P', 6},  {0x09, 'Z', 7},  {0x0D, 'Z', 8},
      {0x09, 'B', 13}, {0x09, 'I', 14},
      {0x0D, 'K', 15}, {0x09, 'K', 16}, {0x09, '1', 17}, {0x09, '2', 18}, {0x09, '3', 19},
      {0x0D, '8', 21}, {0x0D, '7', 22}, {0x0D, 'B', 23}, {0x0D, 'C', 24}, {0x0D, 'T', 25},
      {0x0D, 'E', 35}, {0x0D, 'L', 27}, {0x09, 'E', 28}, {0x09, 191, 28}, {0x0D, 'D', 29}, {0x09, 187, 31},
      {0x0D, 187, 31}, {0x09, 107, 31}, {0x09, 189, 32}, {0x09, '0', 33},
  };
  const std::vector<AcceleratorEntry> entries = accelerator_entries();
  ASSERT_EQ(entries.size(), std::size(expected));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].flags, expected[i].flags) << i;
    EXPECT_EQ(entries[i].key, expected[i].key) << i;
    EXPECT_EQ(entries[i].command, expected[i].command) << i;
  }
}

TEST(Shortcuts, FindCommandNeedsTheExactModifierSet) {
  int command = -1;
  EXPECT_TRUE(find_command_for_key(kModCtrl, 'S', command));
  EXPECT_EQ(command, 3);
  EXPECT_TRUE(find_command_for_key(kModCtrl | kModShift, 'S', command));
  EXPECT_EQ(command, 4);
  EXPECT_TRUE(find_command_for_key(kModCtrl, 107, command));
  EXPECT_EQ(command, 31);
  EXPECT_TRUE(find_command_for_key(kModCtrl, 191, command));
  EXPECT_EQ(command, 28);

  command = -1;
  EXPECT_FALSE(find_command_for_key(0, 'S', command));
  EXPECT_FALSE(find_command_for_key(kModCtrl | kModShift, 'J', command));
  EXPECT_FALSE(find_command_for_key(kModCtrl | kModAlt | kModShift, 'S', command));
  // The page's own editing keys are never taken from it.
  for (std::uint32_t key : {'X', 'C', 'V', 'A', 'F', 'H'}) {
    EXPECT_FALSE(find_command_for_key(kModCtrl, key, command)) << key;
  }
  EXPECT_EQ(command, -1);  // untouched on a miss
}

TEST(Menus, LayoutAndItemTexts) {
  const auto& sections = menu_sections();
  ASSERT_EQ(sections.size(), 4u);
  EXPECT_EQ(menu_bar_label(sections[0]), "文件(&F)");
  EXPECT_EQ(menu_bar_label(sections[3]), "视图(&V)");
  EXPECT_EQ(menu_bar_label({7, "其他", {}}), "其他");
  EXPECT_EQ(sections[2].items,
            (std::vector<int>{13, 14, 15, 16, 0, 17, 18, 19, 20, 0, 21, 22, 23, 0, 24, 25, 26}));

  EXPECT_EQ(menu_item_text(4), "另存为\tCtrl+Shift+S");
  EXPECT_EQ(menu_item_text(5), "导出 HTML…\tCtrl+Alt+E");
  EXPECT_EQ(menu_item_text(9), "剪切\tCtrl+X");  // shown, though not bound
  EXPECT_EQ(sections[1].items, (std::vector<int>{7, 8, 0, 9, 10, 11, 12, 0, 39, 40}));
  EXPECT_EQ(menu_item_text(39), "查找\tCtrl+F");
  EXPECT_EQ(menu_item_text(40), "替换\tCtrl+H");
  EXPECT_EQ(menu_item_text(28), "源码模式\tCtrl+E");
  EXPECT_EQ(menu_item_text(31), "放大\tCtrl+=");
  for (int id : {20, 26, 30}) {
    EXPECT_EQ(menu_item_text(id).find('\t'), std::string::npos) << id;
  }
  EXPECT_EQ(menu_item_text(0), "");
  EXPECT_EQ(menu_item_text(40005), "");
}

}  // namespace
}  // namespace vesk::win
