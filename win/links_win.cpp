// Following a link from the page: the system's handlers for web and mail,
// the editor for Markdown files, the shell for other files and folders.
#include <windows.h>

#include <shellapi.h>

#include "core/paths.h"
#include "win/dialogs.h"
#include "win/links.h"
#include "win/main_window.h"
#include "win/strings_win.h"

namespace vesk::win {

void VeskMainWindow::open_link(const std::string& href) {
  const LinkAction action = classify_link(href, document_dir_);
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
    case LinkKind::Local:
      break;
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
  if (!folder && is_executable_path(action.target)) {
    set_status("出于安全考虑，不直接打开可执行文件：" + href);
    return;
  }
  ShellExecuteW(window_, L"open", to_utf16(action.target).c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

}  // namespace vesk::win
