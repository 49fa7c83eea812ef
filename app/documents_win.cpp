// The document lifecycle: the welcome document, open, new, save and save as,
// the unsaved-changes question and the caption.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include "core/commands.h"
#include "core/paths.h"
#include "app/disk_win.h"
#include "platform/atomic_write.h"
#include "platform/com.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "app/main_window.h"
#include "platform/strings.h"

namespace vesk::win {
void VeskMainWindow::load_welcome_document() {
  std::string text;
  if (read_file_shared(to_utf8(executable_folder()) + "\\samples\\welcome.md", text)) strip_utf8_bom(text);
  if (text.empty()) text = kWelcomeFallback;
  document_.loaded_welcome();
  if (core_) core_->load_document(text, "");
  update_title();
}

void VeskMainWindow::open_document(const std::string& path) {
  const std::string resolved = full_path(path);
  std::string text;
  DiskState disk = disk_state_without_hash(resolved);
  if (!read_file_shared(resolved, text)) {
    show_error_box(window_, L"无法打开", "读取文件失败：\n" + path);
    return;
  }
  disk.size = text.size();
  disk.hash = content_hash(text);
  strip_utf8_bom(text);
  document_.opened(resolved, text, disk);
  watch_document_folder();
  if (core_) core_->load_document(text, document_.folder());
  update_title();
  write_diagnostic_line("NATIVE open " + path);
  set_status("已打开：" + path);
  remember_recent(document_.path(), false);
  show_current_in_folder();
}

void VeskMainWindow::open_with_dialog() {
  if (!confirm_unsaved_changes(AfterSaveAction::OpenDialog, "")) return;
  const std::string chosen = show_open_dialog(window_, document_.dialog_folder(default_document_folder()));
  if (!chosen.empty()) open_document(chosen);
}

void VeskMainWindow::open_path_requested(const std::string& path) {
  if (path.empty() || busy_with_modal_flow(Command::Open)) return;
  if (confirm_unsaved_changes(AfterSaveAction::OpenPath, path)) open_document(path);
}

void VeskMainWindow::start_new_document() {
  document_.started_new();
  watch_document_folder();
  if (core_) core_->new_document();
  update_title();
  set_status("已新建空白文档（未命名，保存时会询问位置）");
}

void VeskMainWindow::load_dropped_document(const std::string& text) {
  document_.loaded_untitled(text);
  watch_document_folder();
  if (core_) core_->load_document(text, "");
  update_title();
  set_status("已载入拖入的文档（未关联磁盘路径，保存时会询问位置）");
}

void VeskMainWindow::save_document(const std::string& text) {
  // The page's answer to a second save request, arriving inside the first
  // save's dialog.
  if (busy_with_modal_flow(document_.save_as_requested() ? Command::SaveAs : Command::Save)) return;
  const SavePlan plan = document_.plan_save(default_document_folder());
  std::string path = plan.path;
  if (plan.ask_for_path) {
    path = read_environment("VESK_SAVE_AS");
    if (path.empty()) path = show_save_dialog(window_, L"另存为", plan.proposed, L"md");
    if (path.empty()) {
      document_.save_abandoned();
      return;
    }
    path = DocumentSession::chosen_save_path(path);
  } else {
    switch (confirm_save_over_change()) {
      case SaveOverChange::Write:
        break;
      case SaveOverChange::Stop:
        document_.save_abandoned();
        return;
      case SaveOverChange::SaveAs:
        document_.request_save(true);
        save_document(text);
        return;
    }
  }

  const std::string bytes = document_.bytes_for_save(text);
  keep_history_version(path, bytes);
  if (!write_document_bytes(bytes, path)) {
    document_.save_abandoned();
    return;
  }
  // What this save left on disk, so it is never taken for another
  // program's change.
  DiskState written = disk_state_without_hash(path);
  written.hash = content_hash(bytes);

  const DeferredAction deferred = document_.saved(path, written);
  watch_document_folder();
  if (core_) {
    core_->mark_saved(text);
    core_->set_base_dir(document_.folder());
  }
  update_title();
  write_diagnostic_line("NATIVE save " + path);
  set_status("已保存：" + path);
  remember_recent(path, false);
  run_after_save_action(deferred);
}

void VeskMainWindow::run_after_save_action(const DeferredAction& deferred) {
  const std::string& path = deferred.path;
  switch (deferred.action) {
    case AfterSaveAction::None:
      break;
    case AfterSaveAction::OpenDialog:
      open_with_dialog();
      break;
    case AfterSaveAction::OpenPath:
      if (!path.empty()) open_document(path);
      break;
    case AfterSaveAction::NewDocument:
      start_new_document();
      break;
    case AfterSaveAction::CloseWindow:
      DestroyWindow(window_);
      break;
    case AfterSaveAction::ExportPdf:
      begin_pdf_export();
      break;
  }
}

bool VeskMainWindow::write_document_file(const std::string& text, const std::string& path) {
  return write_document_bytes(document_.bytes_for_save(text), path);
}

bool VeskMainWindow::write_document_bytes(const std::string& bytes, const std::string& path) {
  const AtomicWriteResult written = write_file_atomically_reporting(path, bytes);
  if (!written.ok) show_error_box(window_, L"保存失败", write_failure_text(path, written.kept_temporary));
  return written.ok;
}

bool VeskMainWindow::confirm_unsaved_changes(AfterSaveAction action, const std::string& path) {
  if (!core_ || !core_->is_dirty()) return true;
  switch (ask_unsaved_changes(window_, display_name())) {
    case UnsavedAnswer::Save:
      document_.defer(action, path);
      core_->request_snapshot();
      return false;
    case UnsavedAnswer::Discard:
      return true;
    case UnsavedAnswer::Cancel:
      return false;
  }
  return false;
}

UnsavedAnswer VeskMainWindow::ask_unsaved_changes(HWND owner, const std::string& name) {
  UnsavedAnswer answer = UnsavedAnswer::Cancel;
  if (answer_from_environment(read_environment("VESK_ANSWER"), answer)) return answer;

  const std::wstring content = to_utf16(unsaved_question_text(name));
  const TASKDIALOG_BUTTON buttons[] = {
      {1000, L"保存"},
      {1001, L"不保存"},
      // IDCANCEL: Escape (and the close box) answer 取消; Wine's task dialog
      // honours Escape only for a button with this id.
      {IDCANCEL, L"取消"},
  };
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = L"未保存的修改";
  config.pszMainInstruction = L"未保存的修改";
  config.pszContent = content.c_str();
  config.cButtons = 3;
  config.pButtons = buttons;
  config.nDefaultButton = 1000;
  int pressed = 0;
  if (SUCCEEDED(task_dialog_indirect(config, pressed))) {
    if (pressed == 1000) return UnsavedAnswer::Save;
    if (pressed == 1001) return UnsavedAnswer::Discard;
    return UnsavedAnswer::Cancel;
  }
  // Without common controls 6 there is no task dialog.
  switch (MessageBoxW(owner, content.c_str(), L"未保存的修改", MB_YESNOCANCEL | MB_ICONWARNING)) {
    case IDYES:
      return UnsavedAnswer::Save;
    case IDNO:
      return UnsavedAnswer::Discard;
    default:
      return UnsavedAnswer::Cancel;
  }
}

std::string VeskMainWindow::display_name() const { return win::display_name(document_.path()); }

void VeskMainWindow::update_title() {
  if (!window_) return;
  const bool dirty = core_ && core_->is_dirty();
  SetWindowTextW(window_, to_utf16(caption_text(display_name(), dirty)).c_str());
}

}  // namespace vesk::win
