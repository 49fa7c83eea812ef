// What runs each time the page is ready (a held status, the caption, the
// menus, the reader's theme, the folder panel) and the automation that
// VESK_* variables ask for then: a start-up command, a script, a snapshot,
// a drop.
#include <windows.h>

#include "webhost/web_host_view.h"
#include "app/automation.h"
#include "platform/diagnostics.h"
#include "app/main_window.h"

namespace vesk::win {

void VeskMainWindow::on_page_ready() {
  write_diagnostic_line("NATIVE ready gen=" + std::to_string(core_ ? core_->load_count() : 0));
  if (!pending_status_.empty()) {
    const std::string held = std::move(pending_status_);
    pending_status_.clear();
    set_status(held);
  }
  update_title();
  refresh_menu_state();
  apply_reader_theme();
  show_folder_in_page();

  if (!startup_command_done_ && environment_is_set("VESK_COMMAND")) {
    SetTimer(window_, kStartupCommandTimer, 700, nullptr);
  }
  if (first_ready_done_) return;
  first_ready_done_ = true;

  const std::string expression = read_environment("VESK_EVAL");
  if (!expression.empty()) {
    if (web_host_) web_host_->run_script(eval_script(expression));
    write_diagnostic_line("NATIVE eval scheduled");
  }
  if (environment_is_set("VESK_SNAPSHOT")) {
    const int delay = snapshot_delay_ms(read_environment("VESK_SNAPSHOT_DELAY"));
    SetTimer(window_, kSnapshotTimer, static_cast<UINT>(delay), nullptr);
  }
  const std::string drop = read_environment("VESK_DROP");
  if (!drop_probe_done_ && !drop.empty()) {
    drop_probe_done_ = true;
    for (std::string& path : split_drop_paths(drop)) drop_probe_paths_.push_back(std::move(path));
    if (!drop_probe_paths_.empty()) {
      write_diagnostic_line("NATIVE drop probe scheduled paths=" +
                            std::to_string(drop_probe_paths_.size()));
      SetTimer(window_, kDropProbeTimer, 900, nullptr);
    }
  }
}

void VeskMainWindow::run_startup_command() {
  const std::string value = read_environment("VESK_COMMAND");
  if (startup_command_done_ || value.empty()) return;
  startup_command_done_ = true;
  const std::string name = normalize_startup_command(value);
  if (const auto command = startup_command_id(name)) {
    write_diagnostic_line("NATIVE startup command " + name);
    run_command(*command);
  }
}

void VeskMainWindow::take_snapshot() {
  const std::string path = read_environment("VESK_SNAPSHOT");
  if (path.empty() || !web_host_) return;
  web_host_->capture_preview(path, [path](bool ok) {
    write_diagnostic_line(std::string("SNAPSHOT ") + (ok ? "OK " : "ERR ") + path);
  });
}

void VeskMainWindow::run_drop_probe() {
  write_diagnostic_line("NATIVE drop probe paths=" + std::to_string(drop_probe_paths_.size()));
  if (core_ && !drop_probe_paths_.empty()) core_->handle_dropped_paths(drop_probe_paths_);
}

}  // namespace vesk::win
