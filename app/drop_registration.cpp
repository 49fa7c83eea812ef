// The main window's side of the drop target: registered on the web control's
// child window once the page is up (on the main window when that fails), and
// posting kDropPathsMessage, which the window answers by opening the paths.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"
#include "webhost/drop_target.h"

namespace vesk::win {

void VeskMainWindow::ensure_drop_target() {
  if (!window_ || !core_) return;
  HWND target = web_control_window(window_);
  if (!target) target = window_;
  if (drop_target_ && drop_window_ == target && IsWindow(target)) return;
  revoke_drop_target();

  AcceptPaths accept = [this](const std::vector<std::string>& paths) {
    return core_ && core_->can_accept_drop(paths);
  };
  std::string error;
  DropTarget* registered = register_drop_target(target, kDropPathsMessage, accept, error);
  if (!registered && target != window_) {
    registered = register_drop_target(window_, kDropPathsMessage, accept, error);
    target = window_;
  }
  drop_target_ = registered;
  drop_window_ = registered ? target : nullptr;
  if (registered) {
    write_diagnostic_line("NATIVE drop target on " + to_utf8(class_name_of(target)) + " " +
                          std::to_string(reinterpret_cast<std::uintptr_t>(target)));
  } else {
    write_diagnostic_line("NATIVE drop target unavailable: " + error);
  }
}

void VeskMainWindow::revoke_drop_target() {
  if (drop_target_) {
    RevokeDragDrop(drop_window_);
    drop_target_->Release();
  }
  drop_target_ = nullptr;
  drop_window_ = nullptr;
}

}  // namespace vesk::win
