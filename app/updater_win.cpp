// The main window's side of the updater: its callbacks, the daily timer,
// the menu's manual check and the result that the check thread posts.
#include <windows.h>

#include "update/update_check_win.h"
#include "app/main_window.h"

namespace vesk::win {

void VeskMainWindow::start_updater() {
  HWND window = window_;
  set_update_callbacks([this] { return core_ && core_->is_dirty(); },
                       [window] { PostMessageW(window, WM_CLOSE, 0, 0); });
  SetTimer(window_, kUpdateCheckTimer, kUpdateFirstCheckDelayMs, nullptr);
}

void VeskMainWindow::on_update_timer() {
  run_background_update_check(window_, kUpdateCheckTimer, kUpdateResultMessage);
}

void VeskMainWindow::check_for_updates_now() { start_update_check(window_, kUpdateResultMessage, true); }

void VeskMainWindow::discard_update_result(LPARAM result) {
  delete reinterpret_cast<UpdateCheckResult*>(result);
}

void VeskMainWindow::on_update_result(LPARAM result) {
  handle_update_result_message(window_, result);
}

}  // namespace vesk::win
