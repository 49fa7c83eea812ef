// run_command: where every menu item, accelerator, hooked key, page key and
// start-up command ends.
#include <windows.h>

#include "core/commands.h"
#include "core/editor_host.h"
#include "webhost/web_host_view.h"
#include "platform/diagnostics.h"
#include "app/main_window.h"

namespace vesk::win {

bool VeskMainWindow::busy_with_modal_flow(Command command_name) {
  const int id = command_id(command_name);
  // Every dialog we show (file dialogs, boxes, task and progress dialogs) is
  // owned by the window and disables it while its own message loop runs;
  // that loop also delivers our posted commands and the page's messages.
  if (!window_ || IsWindowEnabled(window_)) return false;
  const CommandSpec* command = find_command(id);
  write_diagnostic_line("NATIVE busy " + (command ? command->label : std::to_string(id)));
  return true;
}

void VeskMainWindow::run_command(int id) {
  const CommandSpec* command = find_command(id);
  if (command && keylog_enabled()) write_diagnostic_line("NATIVE command " + command->label);
  if (command_starts_modal_flow(id) && busy_with_modal_flow(static_cast<Command>(id))) return;

  switch (static_cast<Command>(id)) {
    case Command::New:
      if (confirm_unsaved_changes(AfterSaveAction::NewDocument, "")) start_new_document();
      return;
    case Command::Open:
      open_with_dialog();
      return;
    case Command::Save:
      document_.request_save(false);
      if (core_) core_->request_snapshot();
      return;
    case Command::SaveAs:
      document_.request_save(true);
      if (core_) core_->request_snapshot();
      return;
    case Command::ExportHtml:
      if (core_) core_->request_html_export(display_name());
      return;
    case Command::ExportPdf:
      export_pdf_command();
      return;
    case Command::SelectAll:
      if (web_host_) web_host_->run_script("document.execCommand('selectAll');");
      return;
    case Command::Find:
      if (web_host_) web_host_->run_script(page_call("find"));
      return;
    case Command::Replace:
      if (web_host_) web_host_->run_script(page_call("replace"));
      return;
    case Command::DarkMode:
      follow_system_theme_ = false;
      dark_theme_ = !dark_theme_;
      clear_theme_choice(false);
      update_theme();
      return;
    case Command::FollowSystemTheme:
      follow_system_theme_ = true;
      clear_theme_choice(true);
      update_theme();
      return;
    case Command::OpenFolder:
      open_folder_command();
      return;
    case Command::ToggleFiles:
      toggle_files_command();
      return;
    case Command::QuickOpen:
      quick_open_command();
      return;
    case Command::SearchFiles:
      search_files_command();
      return;
    case Command::NewWindow:
      new_window_command();
      return;
    case Command::History:
      history_command();
      return;
    default:
      break;
  }

  if (!core_) return;
  switch (static_cast<Command>(id)) {
    case Command::Undo:
      core_->undo();
      return;
    case Command::Redo:
      core_->redo();
      return;
    case Command::Cut:
      core_->edit_command("cut");
      return;
    case Command::Copy:
      core_->edit_command("copy");
      return;
    case Command::Paste:
      core_->edit_command("paste");
      return;
    case Command::ToggleToc:
      core_->toggle_toc();
      return;
    case Command::ToggleSource:
      core_->toggle_source();
      return;
    case Command::ZoomIn:
      core_->zoom_by(1);
      return;
    case Command::ZoomOut:
      core_->zoom_by(-1);
      return;
    case Command::ActualSize:
      core_->reset_zoom();
      return;
    default:
      if (command && !command->format.empty()) core_->format(command->format);
      return;
  }
}

void VeskMainWindow::export_pdf_command() {
  if (source_view_) {
    set_status("源码模式下不能导出 PDF，先退出源码模式");
    return;
  }
  if (pdf_export_busy()) return;
  if (!document_.untitled()) {
    if (confirm_unsaved_changes(AfterSaveAction::ExportPdf, "")) begin_pdf_export();
    return;
  }
  // An untitled document is saved first; the export follows a successful save.
  document_.defer(AfterSaveAction::ExportPdf);
  document_.request_save(true);
  if (core_) core_->request_snapshot();
}

void VeskMainWindow::front_end_error(const std::string& message) {
  set_status("前端错误：" + message);
}

}  // namespace vesk::win
