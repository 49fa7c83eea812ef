// run_command: where every menu item, accelerator, hooked key, page key and
// start-up command ends.
#include <windows.h>

#include "core/commands.h"
#include "core/editor_host.h"
#include "webhost/web_host_view.h"
#include "platform/diagnostics.h"
#include "app/main_window.h"

namespace vesk::win {

bool VeskMainWindow::busy_with_modal_flow(int id) {
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
  if (command_starts_modal_flow(id) && busy_with_modal_flow(id)) return;

  switch (id) {
    case 1:
      if (confirm_unsaved_changes(AfterSaveAction::NewDocument, "")) start_new_document();
      return;
    case 2:
      open_with_dialog();
      return;
    case 3:
      save_as_requested_ = false;
      if (core_) core_->request_snapshot();
      return;
    case 4:
      save_as_requested_ = true;
      if (core_) core_->request_snapshot();
      return;
    case 5:
      if (core_) core_->request_html_export(display_name());
      return;
    case 6:
      export_pdf_command();
      return;
    case 12:
      if (web_host_) web_host_->run_script("document.execCommand('selectAll');");
      return;
    case 39:
      if (web_host_) web_host_->run_script(page_call("find"));
      return;
    case 40:
      if (web_host_) web_host_->run_script(page_call("replace"));
      return;
    case 29:
      follow_system_theme_ = false;
      dark_theme_ = !dark_theme_;
      clear_theme_choice(false);
      update_theme();
      return;
    case 30:
      follow_system_theme_ = true;
      clear_theme_choice(true);
      update_theme();
      return;
    case 34:
      open_folder_command();
      return;
    case 35:
      toggle_files_command();
      return;
    case 36:
      quick_open_command();
      return;
    case 37:
      search_files_command();
      return;
    case 38:
      new_window_command();
      return;
    default:
      break;
  }

  if (!core_) return;
  switch (id) {
    case 7:
      core_->undo();
      return;
    case 8:
      core_->redo();
      return;
    case 9:
      core_->edit_command("cut");
      return;
    case 10:
      core_->edit_command("copy");
      return;
    case 11:
      core_->edit_command("paste");
      return;
    case 27:
      core_->toggle_toc();
      return;
    case 28:
      core_->toggle_source();
      return;
    case 31:
      core_->zoom_by(1);
      return;
    case 32:
      core_->zoom_by(-1);
      return;
    case 33:
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
  if (!document_path_.empty()) {
    if (confirm_unsaved_changes(AfterSaveAction::ExportPdf, "")) begin_pdf_export();
    return;
  }
  // An untitled document is saved first; the export follows a successful save.
  after_save_action_ = AfterSaveAction::ExportPdf;
  save_as_requested_ = true;
  if (core_) core_->request_snapshot();
}

void VeskMainWindow::front_end_error(const std::string& message) {
  set_status("前端错误：" + message);
}

}  // namespace vesk::win
