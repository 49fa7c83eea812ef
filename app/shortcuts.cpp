#include "app/shortcuts.h"

#include <algorithm>

#include "core/commands.h"

namespace vesk::win {
namespace {

constexpr std::uint32_t kVkAdd = 107;       // numeric-keypad "+"
constexpr std::uint32_t kVkOemPlus = 187;   // main-keyboard "="
constexpr std::uint32_t kVkOemMinus = 189;
constexpr std::uint32_t kVkOemSlash = 191;  // "/"

struct Token {
  ModifierMask modifier = 0;
  std::uint32_t key = 0;
  std::string_view text;  // menu text
};

bool read_token(std::string_view token, Token& out) {
  static constexpr struct {
    std::string_view name;
    Token token;
  } kNamed[] = {
      {"cmd", {kModCtrl, 0, "Ctrl"}},       {"ctrl", {kModCtrl, 0, "Ctrl"}},
      {"control", {kModCtrl, 0, "Ctrl"}},   {"option", {kModAlt, 0, "Alt"}},
      {"alt", {kModAlt, 0, "Alt"}},         {"shift", {kModShift, 0, "Shift"}},
      {"/", {0, kVkOemSlash, "/"}},         {"slash", {0, kVkOemSlash, "/"}},
      {"equal", {0, kVkOemPlus, "="}},      {"plus", {0, kVkAdd, "+"}},
      {"minus", {0, kVkOemMinus, "-"}},
  };
  for (const auto& named : kNamed) {
    if (token == named.name) {
      out = named.token;
      return true;
    }
  }
  if (token.size() == 1 && ((token[0] >= 'a' && token[0] <= 'z') || (token[0] >= '0' && token[0] <= '9'))) {
    const char c = token[0];
    out.modifier = 0;
    out.key = static_cast<std::uint32_t>(c >= 'a' ? c - 'a' + 'A' : c);
    out.text = {};
    return true;
  }
  return false;
}

template <typename Visit>
void for_each_token(std::string_view shortcut, Visit visit) {
  std::size_t start = 0;
  while (start <= shortcut.size()) {
    std::size_t plus = shortcut.find('+', start);
    if (plus == std::string_view::npos) plus = shortcut.size();
    const std::string_view token = shortcut.substr(start, plus - start);
    if (!token.empty() && !visit(token)) return;
    start = plus + 1;
  }
}

// Walks the bindable shortcuts in menu order: every (mask, key, command).
template <typename Visit>
void for_each_binding(Visit visit) {
  for (const MenuSection& section : menu_sections()) {
    for (int id : section.items) {
      // The page's own editing keys: clipboard, select all, find and replace.
      if ((id >= 9 && id <= 12) || id == 39 || id == 40) continue;
      const CommandSpec* command = find_command(id);
      if (!command) continue;
      for (const std::string& shortcut : command->shortcuts) {
        ModifierMask modifiers = 0;
        std::uint32_t key = 0;
        if (parse_shortcut(shortcut, modifiers, key) && !visit(modifiers, key, id)) return;
      }
    }
  }
}

}  // namespace

const std::vector<MenuSection>& menu_sections() {
  using C = Command;
  constexpr auto id = command_id;
  constexpr int kSeparator = 0;
  static const std::vector<MenuSection> sections = {
      {0, "文件", {id(C::New), id(C::NewWindow), id(C::Open), id(C::OpenFolder), id(C::QuickOpen), kSeparator,
                 id(C::Save), id(C::SaveAs), id(C::History), id(C::ExportHtml), id(C::ExportPdf)}},
      // The search across files joins this menu with its panel.
      {1, "编辑", {id(C::Undo), id(C::Redo), kSeparator, id(C::Cut), id(C::Copy), id(C::Paste),
                 id(C::SelectAll), kSeparator, id(C::Find), id(C::Replace)}},
      {2, "格式", {id(C::Bold), id(C::Italic), id(C::InlineCode), id(C::Link), kSeparator,
                 id(C::Heading1), id(C::Heading2), id(C::Heading3), id(C::Paragraph), kSeparator,
                 id(C::BulletList), id(C::NumberedList), id(C::Quote), kSeparator, id(C::CodeBlock),
                 id(C::Table), id(C::HorizontalRule)}},
      {3, "视图", {id(C::ToggleFiles), id(C::ToggleToc), id(C::ToggleSource), kSeparator, id(C::DarkMode),
                 id(C::FollowSystemTheme), kSeparator, id(C::ZoomIn), id(C::ZoomOut),
                 id(C::ActualSize)}},
  };
  return sections;
}

std::string menu_bar_label(const MenuSection& section) {
  switch (section.kind) {
    case 0:
      return "文件(&F)";
    case 1:
      return "编辑(&E)";
    case 2:
      return "格式(&O)";
    case 3:
      return "视图(&V)";
    default:
      return section.title;
  }
}

std::string format_shortcut(std::string_view shortcut) {
  std::string text;
  for_each_token(shortcut, [&](std::string_view token) {
    if (!text.empty()) text += '+';
    Token known;
    if (read_token(token, known) && !known.text.empty()) {
      text.append(known.text);
    } else {
      for (char c : token) text += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return true;
  });
  return text;
}

std::string menu_item_text(int command_id) {
  const CommandSpec* command = find_command(command_id);
  if (!command) return {};
  std::string text = command->label;
  if (!command->shortcuts.empty()) text += "\t" + format_shortcut(command->shortcuts.front());
  return text;
}

bool parse_shortcut(std::string_view shortcut, ModifierMask& modifiers, std::uint32_t& key) {
  ModifierMask mask = 0;
  std::uint32_t found_key = 0;
  bool ok = true;
  for_each_token(shortcut, [&](std::string_view token) {
    Token known;
    if (!read_token(token, known)) return ok = false;
    mask |= known.modifier;
    if (known.key) found_key = known.key;
    return true;
  });
  if (!ok || found_key == 0) return false;
  modifiers = mask;
  key = found_key;
  return true;
}

std::vector<AcceleratorEntry> accelerator_entries() {
  std::vector<AcceleratorEntry> entries;
  for_each_binding([&](ModifierMask modifiers, std::uint32_t key, int command) {
    const bool taken = std::any_of(entries.begin(), entries.end(), [&](const AcceleratorEntry& e) {
      return (e.flags & ~kVirtualKeyFlag) == modifiers && e.key == key;
    });
    if (!taken) {
      entries.push_back({static_cast<std::uint8_t>(modifiers | kVirtualKeyFlag),
                         static_cast<std::uint16_t>(key), command});
    }
    return true;
  });
  return entries;
}

bool find_command_for_key(ModifierMask modifiers, std::uint32_t key, int& command) {
  bool found = false;
  for_each_binding([&](ModifierMask bound_modifiers, std::uint32_t bound_key, int id) {
    if (bound_modifiers != modifiers || bound_key != key) return true;
    command = id;
    found = true;
    return false;
  });
  return found;
}

}  // namespace vesk::win
