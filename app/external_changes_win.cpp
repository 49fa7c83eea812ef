// Other programs' changes to the open document, looked for when the window
// is activated, before every save and when the watcher on the document's
// folder wakes. DocumentSession decides whether a change reloads the text,
// asks "文件已被其他程序修改" or keeps the text as unsaved; this file reads the
// file and shows the question.
#include <windows.h>

#include <commctrl.h>

#include <optional>

#include "app/disk_win.h"
#include "app/folder_watch_win.h"
#include "app/main_window.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

// Nothing when the user closed the question without an answer.
std::optional<ExternalAnswer> ask_external_change(HWND owner, const std::string& name) {
  const std::wstring content = to_utf16("“" + name + "”在磁盘上已被其他程序修改。");
  const TASKDIALOG_BUTTON buttons[] = {{1000, L"重新载入"}, {1001, L"保留我的修改"}, {1002, L"另存为…"}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  config.pszWindowTitle = L"文件已被其他程序修改";
  config.pszMainInstruction = L"文件已被其他程序修改";
  config.pszContent = content.c_str();
  config.cButtons = 3;
  config.pButtons = buttons;
  config.nDefaultButton = 1001;
  int pressed = 0;
  if (FAILED(task_dialog_indirect(config, pressed))) return ExternalAnswer::KeepMine;
  if (pressed == 1000) return ExternalAnswer::Reload;
  if (pressed == 1001) return ExternalAnswer::KeepMine;
  if (pressed == 1002) return ExternalAnswer::SaveAs;
  return std::nullopt;
}

}  // namespace

DiskChange VeskMainWindow::look_at_disk(DiskState& now, std::string& bytes) const {
  const DiskState& known = document_.disk();
  now = disk_state_without_hash(document_.path());
  if (same_size_and_time(known, now)) {
    now.hash = known.hash;
    return DiskChange::None;
  }
  if (now.exists) {
    // Held by its writer this moment: the next look will tell.
    if (!read_file_shared(document_.path(), bytes)) return DiskChange::None;
    now.size = bytes.size();
    now.hash = content_hash(bytes);
  }
  return judge_disk_change(known, now);
}

void VeskMainWindow::reload_from_disk(std::string bytes, const DiskState& now) {
  strip_utf8_bom(bytes);
  document_.reloaded(now, bytes);
  if (core_) core_->reload_document(bytes);
  update_title();
  write_diagnostic_line("NATIVE reloaded " + document_.path());
  set_status(std::string(kReloadedStatus));
}

void VeskMainWindow::check_external_change() {
  // While a dialog of ours is up the look waits for the next activation.
  if (!core_ || document_.untitled() || checking_disk_ || !window_ || !IsWindowEnabled(window_)) return;
  checking_disk_ = true;
  DiskState now;
  std::string bytes;
  const DiskChange change = look_at_disk(now, bytes);
  switch (document_.on_disk_seen(now, change, core_->is_dirty())) {
    case ExternalAction::None:
      break;
    case ExternalAction::Reload:
      reload_from_disk(std::move(bytes), now);
      break;
    case ExternalAction::MarkGone:
      core_->mark_unsaved();
      write_diagnostic_line("NATIVE file gone " + document_.path());
      set_status(std::string(kGoneStatus));
      break;
    case ExternalAction::Ask:
      write_diagnostic_line("NATIVE file changed " + document_.path());
      switch (ask_external_change(window_, display_name()).value_or(ExternalAnswer::KeepMine)) {
        case ExternalAnswer::Reload:
          reload_from_disk(std::move(bytes), now);
          break;
        case ExternalAnswer::KeepMine:
          document_.kept_mine(now);
          break;
        case ExternalAnswer::SaveAs:
          document_.kept_mine(now);
          document_.request_save(true);
          core_->request_snapshot();
          break;
      }
      break;
  }
  checking_disk_ = false;
}

VeskMainWindow::SaveOverChange VeskMainWindow::confirm_save_over_change() {
  DiskState now;
  std::string bytes;
  if (!document_.save_needs_asking(look_at_disk(now, bytes))) return SaveOverChange::Write;
  write_diagnostic_line("NATIVE file changed " + document_.path());
  const auto answer = ask_external_change(window_, display_name());
  if (!answer) return SaveOverChange::Stop;
  switch (*answer) {
    case ExternalAnswer::KeepMine:
      return SaveOverChange::Write;
    case ExternalAnswer::Reload:
      reload_from_disk(std::move(bytes), now);
      return SaveOverChange::Stop;
    case ExternalAnswer::SaveAs:
      return SaveOverChange::SaveAs;
  }
  return SaveOverChange::Stop;
}

void VeskMainWindow::watch_document_folder() {
  const std::string& folder = document_.untitled() ? std::string() : document_.folder();
  if (folder_watcher_ && folder_watcher_->folder() == folder) return;
  folder_watcher_.reset();
  if (!folder.empty()) folder_watcher_ = std::make_unique<FolderWatcher>(folder, window_, kFolderChangedMessage);
}

}  // namespace vesk::win
