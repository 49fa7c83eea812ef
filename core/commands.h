// The one table of user commands: menu bar, accelerators, keyboard paths,
// command execution and start-up automation all read it.
#pragma once

#include <string>
#include <vector>

namespace vesk {

struct CommandSpec {
  int id;                               // 1..40; 0 is never a command
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
