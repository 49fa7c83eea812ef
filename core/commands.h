// The one table of user commands: menu bar, accelerators, keyboard paths,
// command execution and start-up automation all read it.
#pragma once

#include <string>
#include <vector>

namespace vesk {

// Every user command by name; the numbers are the menu item ids and the
// values VESK_COMMAND, accelerators and posted commands carry.
enum class Command : int {
  New = 1,
  Open = 2,
  Save = 3,
  SaveAs = 4,
  ExportHtml = 5,
  ExportPdf = 6,
  Undo = 7,
  Redo = 8,
  Cut = 9,
  Copy = 10,
  Paste = 11,
  SelectAll = 12,
  Bold = 13,
  Italic = 14,
  InlineCode = 15,
  Link = 16,
  Heading1 = 17,
  Heading2 = 18,
  Heading3 = 19,
  Paragraph = 20,
  BulletList = 21,
  NumberedList = 22,
  Quote = 23,
  CodeBlock = 24,
  Table = 25,
  HorizontalRule = 26,
  ToggleToc = 27,
  ToggleSource = 28,
  DarkMode = 29,
  FollowSystemTheme = 30,
  ZoomIn = 31,
  ZoomOut = 32,
  ActualSize = 33,
  OpenFolder = 34,
  ToggleFiles = 35,
  QuickOpen = 36,
  SearchFiles = 37,
  NewWindow = 38,
  Find = 39,
  Replace = 40,
  History = 41,
};

constexpr int command_id(Command command) { return static_cast<int>(command); }

struct CommandSpec {
  int id;                               // 1..41; 0 is never a command
  std::string label;                    // menu text, also the name in log lines
  std::vector<std::string> shortcuts;   // "cmd+shift+s"; the first is shown in the menu
  std::string format;                   // name for the page's format(), or empty
  bool checkable;                       // a view toggle with a check mark
};

// Built once on first use (thread-safe) and never changed: references to its
// records stay valid until exit.
const std::vector<CommandSpec>& command_table();

// The record with this id, or nullptr.
const CommandSpec* find_command(int id);

}  // namespace vesk
