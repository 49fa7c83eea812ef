// The command table feeds the menu, the accelerators and the page's format
// calls, so its shape is checked here: ids, shortcut grammar, which commands
// format or toggle, and that nothing is bound twice.
#include "core/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk {
namespace {

std::vector<std::string> split_plus(const std::string& shortcut) {
  std::vector<std::string> tokens;
  std::size_t start = 0;
  for (;;) {
    const std::size_t plus = shortcut.find('+', start);
    tokens.push_back(shortcut.substr(start, plus - start));
    if (plus == std::string::npos) return tokens;
    start = plus + 1;
  }
}

bool is_key_token(const std::string& key) {
  if (key.size() == 1) {
    const char c = key[0];
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/';
  }
  return key == "equal" || key == "plus" || key == "minus" || key == "slash";
}

TEST(CommandTable, IdsRunFromOneInOrder) {
  const std::vector<CommandSpec>& table = command_table();
  ASSERT_EQ(table.size(), 41u);
  std::set<std::string> labels;
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].id, static_cast<int>(i) + 1);
    // Labels name the commands in log lines, so they must tell them apart.
    EXPECT_FALSE(table[i].label.empty()) << "id " << table[i].id;
    EXPECT_TRUE(labels.insert(table[i].label).second) << table[i].label;
    // find_command hands out the table's own record, not a copy.
    EXPECT_EQ(find_command(table[i].id), &table[i]);
  }
  EXPECT_EQ(&command_table(), &table);
}

TEST(CommandTable, UnknownIdsFindNothing) {
  for (int id : {0, 42, -1, 1000}) EXPECT_EQ(find_command(id), nullptr) << id;
}

TEST(CommandTable, ShortcutsFollowTheGrammarAndAreBoundOnce) {
  std::set<std::string> seen;
  for (const CommandSpec& command : command_table()) {
    for (const std::string& shortcut : command.shortcuts) {
      SCOPED_TRACE(command.label + " " + shortcut);
      EXPECT_TRUE(seen.insert(shortcut).second) << "bound twice";
      std::vector<std::string> tokens = split_plus(shortcut);
      EXPECT_TRUE(is_key_token(tokens.back()));
      tokens.pop_back();
      std::set<std::string> modifiers;
      for (const std::string& modifier : tokens) {
        EXPECT_TRUE(modifier == "cmd" || modifier == "shift" || modifier == "option") << modifier;
        EXPECT_TRUE(modifiers.insert(modifier).second) << "repeated " << modifier;
      }
      // Every binding in the table goes through the primary modifier.
      EXPECT_TRUE(modifiers.count("cmd"));
    }
  }
}

TEST(CommandTable, FormatsAndToggles) {
  const std::vector<std::pair<int, std::string_view>> formats = {
      {13, "bold"},  {14, "italic"},    {15, "inlineCode"}, {16, "link"}, {17, "h1"},
      {18, "h2"},    {19, "h3"},        {20, "paragraph"},  {21, "ul"},   {22, "ol"},
      {23, "quote"}, {24, "codeBlock"}, {25, "table"},      {26, "hr"}};
  for (const CommandSpec& command : command_table()) {
    SCOPED_TRACE(command.id);
    std::string_view expected;
    for (const auto& [id, format] : formats) {
      if (id == command.id) expected = format;
    }
    EXPECT_EQ(command.format, expected);
    EXPECT_EQ(command.checkable, (command.id >= 27 && command.id <= 30) || command.id == 35);
  }
}

TEST(CommandTable, ShortcutListsThatAreNotASingleEntry) {
  using Shortcuts = std::vector<std::string>;
  for (int id : {20, 26, 30, 34, 41}) EXPECT_EQ(find_command(id)->shortcuts, Shortcuts{}) << id;
  EXPECT_EQ(find_command(28)->shortcuts, (Shortcuts{"cmd+e", "cmd+/"}));
  EXPECT_EQ(find_command(31)->shortcuts, (Shortcuts{"cmd+equal", "cmd+shift+equal", "cmd+plus"}));
  for (const CommandSpec& command : command_table()) {
    if (command.id == 20 || command.id == 26 || command.id == 28 || command.id == 30 ||
        command.id == 31 || command.id == 34 || command.id == 41) {
      continue;
    }
    EXPECT_EQ(command.shortcuts.size(), 1u) << command.id;
  }
}

TEST(CommandTable, SelectedRecords) {
  const CommandSpec* paragraph = find_command(20);
  ASSERT_NE(paragraph, nullptr);
  EXPECT_EQ(paragraph->label, "正文");
  EXPECT_EQ(paragraph->format, "paragraph");

  EXPECT_EQ(find_command(3)->label, "保存");
  EXPECT_EQ(find_command(3)->shortcuts.front(), "cmd+s");
  EXPECT_EQ(find_command(4)->shortcuts.front(), "cmd+shift+s");
  EXPECT_EQ(find_command(8)->shortcuts.front(), "cmd+shift+z");
  // The export labels end in one U+2026, not three dots.
  EXPECT_EQ(find_command(5)->label, "导出 HTML\xE2\x80\xA6");
  EXPECT_EQ(find_command(6)->label, "导出 PDF\xE2\x80\xA6");
  EXPECT_EQ(find_command(5)->shortcuts.front(), "cmd+option+e");
  EXPECT_EQ(find_command(33)->label, "实际大小");
  EXPECT_EQ(find_command(33)->shortcuts.front(), "cmd+0");
  // The folder commands: Ctrl+P stays the PDF export, so quick open is Ctrl+Alt+P.
  EXPECT_EQ(find_command(35)->shortcuts.front(), "cmd+shift+e");
  EXPECT_EQ(find_command(36)->shortcuts.front(), "cmd+option+p");
  EXPECT_EQ(find_command(37)->shortcuts.front(), "cmd+shift+f");
  EXPECT_EQ(find_command(38)->shortcuts.front(), "cmd+shift+n");
}

}  // namespace
}  // namespace vesk
