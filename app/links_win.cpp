// Following a link from the page: the system's handlers for web and mail,
// the editor for Markdown files, the shell for other files and folders.
#include <windows.h>

#include <shellapi.h>

#include <filesystem>
#include <system_error>

#include "core/paths.h"
#include "platform/dialogs.h"
#include "app/links.h"
#include "app/main_window.h"
#include "platform/strings.h"

namespace vesk::win {

void VeskMainWindow::open_link(const std::string& href) {
  if (busy_with_modal_flow(2)) return;
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

  std::error_code error;
  const std::filesystem::file_status status =
      action.target.empty() ? std::filesystem::file_status{}
                            : std::filesystem::status(to_fs_path(action.target), error);
  if (action.target.empty() || error || !std::filesystem::exists(status)) {
    show_error_box(window_, L"链接目标不存在", "找不到链接指向的文件：\n" + href);
    return;
  }
  const bool folder = std::filesystem::is_directory(status);
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
