// The menu bar and accelerator table built from the command table, and the
// check marks and greyed items that follow the view state.
#include <windows.h>

#include <algorithm>

#include "platform/diagnostics.h"
#include "app/main_window.h"
#include "app/shortcuts.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

HMENU build_menu_bar(HMENU& recent) {
  HMENU bar = CreateMenu();
  if (!bar) return nullptr;
  for (const MenuSection& section : menu_sections()) {
    HMENU popup = CreatePopupMenu();
    if (!popup) continue;
    for (int id : section.items) {
      if (id == 0) {
        AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      const std::string text = menu_item_text(id);
      if (text.empty()) continue;  // not a command
      AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(id), to_utf16(text).c_str());
    }
    if (section.kind == 0) {
      recent = CreatePopupMenu();
      if (recent) {
        AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(recent), L"最近打开(&R)");
      }
      AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(popup, MF_STRING, kCheckUpdatesMenuId, L"检查更新(&U)...");
      AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(popup, MF_STRING, kExitMenuId, L"退出(&X)\tAlt+F4");
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                to_utf16(menu_bar_label(section)).c_str());
  }
  return bar;
}

HACCEL build_accelerator_table() {
  std::vector<ACCEL> table;
  for (const AcceleratorEntry& entry : accelerator_entries()) {
    table.push_back({entry.flags, entry.key, static_cast<WORD>(entry.command)});
  }
  if (table.empty()) return nullptr;
  return CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
}

}  // namespace

void VeskMainWindow::install_menus() {
  if (HMENU bar = build_menu_bar(recent_menu_)) {
    // 视图 › 主题, after the theme items.
    const auto& sections = menu_sections();
    for (std::size_t i = 0; i < sections.size(); ++i) {
      if (sections[i].kind != 3) continue;
      HMENU view = GetSubMenu(bar, static_cast<int>(i));
      theme_menu_ = CreatePopupMenu();
      if (!view || !theme_menu_) break;
      fill_theme_menu(theme_menu_);
      const auto& items = sections[i].items;
      const auto after = std::find(items.begin(), items.end(), command_id(Command::FollowSystemTheme));
      const int position = after == items.end() ? -1 : static_cast<int>(after - items.begin()) + 1;
      InsertMenuW(view, position, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(theme_menu_), L"主题");
    }
    SetMenu(window_, bar);
  }
  fill_recent_menu();
  if (accelerator_table_) DestroyAcceleratorTable(accelerator_table_);
  accelerator_table_ = build_accelerator_table();
}

void VeskMainWindow::refresh_menu_state() {
  if (!window_) return;
  HMENU bar = GetMenu(window_);
  if (!bar) return;
  const auto check = [bar](Command command, bool on) {
    CheckMenuItem(bar, static_cast<UINT>(command_id(command)),
                  MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  };
  check(Command::ToggleToc, toc_visible_);
  check(Command::ToggleSource, source_view_);
  check(Command::DarkMode, dark_theme_);
  check(Command::FollowSystemTheme, follow_system_theme_);
  check(Command::ToggleFiles, files_visible());
  // The source view has no print layout and its clipboard is plain text.
  for (Command command : {Command::ExportPdf, Command::Cut, Command::Copy, Command::Paste}) {
    EnableMenuItem(bar, static_cast<UINT>(command_id(command)),
                   MF_BYCOMMAND | (source_view_ ? MF_GRAYED : MF_ENABLED));
  }
  DrawMenuBar(window_);
}

}  // namespace vesk::win
