// The 视图 › 主题 menu: its items from the built-in themes and the reader's
// themes folder (%APPDATA%\Vesk\themes), the choice remembered in
// HKCU\Software\Vesk ("Theme", beside the updater's values) and the chosen
// style sheet handed to the page after every load.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "app/main_window.h"
#include "app/themes.h"
#include "core/paths.h"
#include "platform/com.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"
#include "webhost/web_host_view.h"

namespace vesk::win {
namespace {

constexpr wchar_t kRegistryKey[] = L"Software\\Vesk";
constexpr wchar_t kThemeValue[] = L"Theme";

std::wstring themes_folder() {
  CoTaskText roaming;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, roaming.put())) || !roaming.get()) return {};
  return std::wstring(roaming.get()) + L"\\Vesk\\themes";
}

std::vector<std::string> css_files(const std::wstring& folder) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW((folder + L"\\*.css").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(to_utf8(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::string remembered_theme() {
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, kThemeValue, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return to_utf8(buffer);
}

void remember_theme(const std::string& name) {
  if (name.empty()) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRegistryKey, kThemeValue);
    return;
  }
  const std::wstring value = to_utf16(name);
  RegSetKeyValueW(HKEY_CURRENT_USER, kRegistryKey, kThemeValue, REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::vector<ThemeChoice> current_choices() {
  const std::wstring user = themes_folder();
  return theme_choices(to_utf8(executable_folder() + L"\\web"), to_utf8(user), css_files(user));
}

}  // namespace

void VeskMainWindow::restore_theme_choice() {
  const std::string name = remembered_theme();
  if (name.empty()) return;
  const std::vector<ThemeChoice> choices = current_choices();
  const int index = find_theme(choices, name);
  if (index < 0) {
    write_diagnostic_line("NATIVE theme missing " + name);
    return;
  }
  follow_system_theme_ = false;
  dark_theme_ = choices[index].dark;
  reader_theme_ = choices[index].file.empty() ? std::string() : name;
  write_diagnostic_line("NATIVE theme " + name);
}

void VeskMainWindow::choose_theme(int index) {
  const std::vector<ThemeChoice> choices = current_choices();
  if (index < 0 || index >= static_cast<int>(choices.size())) return;
  const ThemeChoice& choice = choices[index];
  follow_system_theme_ = false;
  dark_theme_ = choice.dark;
  reader_theme_ = choice.file.empty() ? std::string() : choice.name;
  remember_theme(choice.name);
  write_diagnostic_line("NATIVE theme " + choice.name);
  update_theme();
  apply_reader_theme();
}

void VeskMainWindow::clear_theme_choice(bool follow_system) {
  const bool had = !reader_theme_.empty();
  reader_theme_.clear();
  remember_theme(follow_system ? std::string() : std::string(dark_theme_ ? kDarkThemeName : kLightThemeName));
  if (had) apply_reader_theme();
}

void VeskMainWindow::apply_reader_theme() {
  if (!web_host_ || !core_ || !core_->is_page_ready()) return;
  std::string name = reader_theme_;
  std::string css;
  if (!name.empty()) {
    const std::vector<ThemeChoice> choices = current_choices();
    const int index = find_theme(choices, name);
    std::vector<unsigned char> bytes;
    if (index < 0 || !read_file_bytes(choices[index].file, bytes) || bytes.size() > kMaxThemeBytes) {
      set_status("无法读取主题：" + name);
      name.clear();
    } else {
      css.assign(bytes.begin(), bytes.end());
    }
  }
  web_host_->run_script(reader_theme_script(name, css));
}

void VeskMainWindow::fill_theme_menu(HMENU menu) {
  while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
  const std::vector<ThemeChoice> choices = current_choices();
  const std::string current = !reader_theme_.empty()    ? reader_theme_
                              : follow_system_theme_    ? std::string()
                              : dark_theme_             ? std::string(kDarkThemeName)
                                                        : std::string(kLightThemeName);
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (i == 3) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const UINT id = kThemeMenuFirst + static_cast<UINT>(i);
    AppendMenuW(menu, MF_STRING | (choices[i].name == current ? MF_CHECKED : 0), id,
                to_utf16(choices[i].name).c_str());
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kOpenThemesFolderMenuId, L"打开主题文件夹");
}

void VeskMainWindow::open_themes_folder() {
  const std::wstring folder = themes_folder();
  if (folder.empty()) return;
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  ShellExecuteW(window_, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace vesk::win
