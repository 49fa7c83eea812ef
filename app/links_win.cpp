// Following a link from the page: the system's handlers for web and mail,
// the editor for Markdown files, the shell for other files and folders.
// Whatever could run a program or reach another machine is decided before
// the file system is asked anything.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>


#include "core/paths.h"
#include "platform/dialogs.h"
#include "app/links.h"
#include "app/main_window.h"
#include "platform/strings.h"
#include "platform/diagnostics.h"

namespace vesk::win {
namespace {

// Windows' own list of types that run code when opened, which grows with
// what is installed; ours stands alone where Windows (or Wine) knows less.
bool system_calls_dangerous(const std::string& path) {
  const std::size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return false;
  return AssocIsDangerous(to_utf16(path.substr(dot)).c_str()) != FALSE;
}

// Opening a path on another machine makes Windows connect to it and offer the
// reader's credentials, so the reader decides first; 取消 is the default.
// VESK_ANSWER answers without asking: "open" opens, any other value cancels.
bool reader_allows_network(HWND owner, const std::string& host) {
  const std::string preset = read_environment("VESK_ANSWER");
  if (!preset.empty()) return preset == "open";
  const std::wstring content = to_utf16(network_question_text(host));
  const TASKDIALOG_BUTTON buttons[] = {{1000, L"打开"}, {IDCANCEL, L"取消"}};  // Escape answers 取消
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = L"打开网络位置";
  config.pszMainIcon = TD_WARNING_ICON;
  config.pszContent = content.c_str();
  config.cButtons = 2;
  config.pButtons = buttons;
  config.nDefaultButton = IDCANCEL;
  int pressed = 0;
  if (SUCCEEDED(task_dialog_indirect(config, pressed))) return pressed == 1000;
  return MessageBoxW(owner, content.c_str(), L"打开网络位置",
                     MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) == IDOK;
}

}  // namespace

void VeskMainWindow::open_link(const std::string& href) {
  if (busy_with_modal_flow(Command::Open)) return;
  const LinkAction action = classify_link(href, document_.folder());
  switch (action.kind) {
    case LinkKind::Ignore:
      return;
    case LinkKind::System:
      ShellExecuteW(window_, L"open", to_utf16(action.target).c_str(), nullptr, nullptr,
                    SW_SHOWNORMAL);
      return;
    case LinkKind::Refused:
      set_status("不支持打开的链接类型：" + href);
      return;
    case LinkKind::Unsafe:
      write_diagnostic_line("NATIVE link refused " + href);
      set_status((action.target.empty() ? "出于安全考虑，不直接打开此链接："
                                        : "出于安全考虑，不直接打开可执行文件：") +
                 href);
      return;
    case LinkKind::Network: {
      const bool open = reader_allows_network(window_, action.host);
      write_diagnostic_line("NATIVE link network host=" + action.host + (open ? " open" : " cancel"));
      if (!open) return;
      break;
    }
    case LinkKind::Local:
      break;
  }
  if (system_calls_dangerous(action.target)) {
    write_diagnostic_line("NATIVE link refused " + href);
    set_status("出于安全考虑，不直接打开可执行文件：" + href);
    return;
  }

  // Asked of Windows directly: std::filesystem throws on a path whose
  // percent-escapes decoded to invalid UTF-8, and mingw's misreads shares.
  const DWORD attributes = action.target.empty()
                               ? INVALID_FILE_ATTRIBUTES
                               : GetFileAttributesW(to_utf16(action.target).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    show_error_box(window_, L"链接目标不存在", "找不到链接指向的文件：\n" + href);
    return;
  }
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder && is_markdown_path(action.target)) {
    if (confirm_unsaved_changes(AfterSaveAction::OpenPath, action.target)) {
      open_document(action.target);
    }
    return;
  }
  ShellExecuteW(window_, L"open", to_utf16(action.target).c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

}  // namespace vesk::win
