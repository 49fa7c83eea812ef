// "文件 › 最近打开": the last ten documents and folders, kept under
// HKCU\Software\Vesk, each also handed to Windows' own recent list so that the
// taskbar's Jump List shows it.
#include <windows.h>

#include <shlobj.h>

#include "app/main_window.h"
#include "app/recent_rules.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

constexpr wchar_t kRegistryKey[] = L"Software\\Vesk";
constexpr wchar_t kRecentValue[] = L"RecentDocuments";

std::vector<std::string> load_recent() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, kRecentValue, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0 || size > 64 * 1024) {
    return {};
  }
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, kRecentValue, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return split_recent(to_utf8(text));
}

void store_recent(const std::vector<std::string>& list) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const std::wstring text = to_utf16(join_recent(list));
  RegSetValueExW(key, kRecentValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

}  // namespace

void VeskMainWindow::remember_recent(const std::string& path, bool folder) {
  if (path.empty()) return;
  if (!folder) SHAddToRecentDocs(SHARD_PATHW, to_utf16(path).c_str());
  std::vector<std::string> list = load_recent();
  add_recent(list, path);
  store_recent(list);
}

void VeskMainWindow::fill_recent_menu() {
  if (!recent_menu_) return;
  while (GetMenuItemCount(recent_menu_) > 0) DeleteMenu(recent_menu_, 0, MF_BYPOSITION);
  recent_paths_ = load_recent();
  for (std::size_t i = 0; i < recent_paths_.size(); ++i) {
    // Gone ones stay listed, greyed, until the list is cleared.
    const bool present = GetFileAttributesW(to_utf16(recent_paths_[i]).c_str()) != INVALID_FILE_ATTRIBUTES;
    AppendMenuW(recent_menu_, MF_STRING | (present ? MF_ENABLED : MF_GRAYED), kRecentMenuFirst + i,
                to_utf16(recent_menu_text(i, recent_paths_[i])).c_str());
  }
  if (recent_paths_.empty()) AppendMenuW(recent_menu_, MF_STRING | MF_GRAYED, kRecentMenuFirst + kRecentLimit, L"（无）");
  AppendMenuW(recent_menu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(recent_menu_, MF_STRING | (recent_paths_.empty() ? MF_GRAYED : MF_ENABLED), kClearRecentMenuId,
              L"清除最近打开");
}

void VeskMainWindow::on_recent_menu(UINT id) {
  if (id == kClearRecentMenuId) {
    store_recent({});
    write_diagnostic_line("NATIVE recent cleared");
    return;
  }
  const std::size_t index = id - kRecentMenuFirst;
  if (index >= recent_paths_.size()) return;
  const std::string path = recent_paths_[index];
  const DWORD attributes = GetFileAttributesW(to_utf16(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    open_folder(path);
  } else {
    open_path_requested(path);
  }
}

}  // namespace vesk::win
