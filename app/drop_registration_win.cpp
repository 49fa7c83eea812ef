// The main window's side of the drop target: registered on a window of the
// web control once the page is up (on the main window when none takes it), and
// posting kDropPathsMessage, which the window answers by opening the paths.
#include <windows.h>

#include <algorithm>
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
  // The best window that takes a target, trying each once: on Windows the
  // browser's windows belong to its process and are refused, so the
  // control's own window usually ends up with it, and the main window when
  // nothing else will.
  std::vector<HWND> candidates = web_control_windows(window_);
  candidates.push_back(window_);
  AcceptPaths accept = [this](const std::vector<std::string>& paths) {
    return core_ && core_->can_accept_drop(paths);
  };
  std::string error;
  for (HWND target : candidates) {
    if (drop_target_ && drop_window_ == target && IsWindow(target)) return;
    if (std::find(drop_refused_.begin(), drop_refused_.end(), target) != drop_refused_.end()) continue;
    revoke_drop_target();
    if (DropTarget* registered = register_drop_target(target, kDropPathsMessage, accept, error)) {
      drop_target_ = registered;
      drop_window_ = target;
      write_diagnostic_line("NATIVE drop target on " + to_utf8(class_name_of(target)) + " " +
                            std::to_string(reinterpret_cast<std::uintptr_t>(target)));
      return;
    }
    write_diagnostic_line("NATIVE drop target refused on " + to_utf8(class_name_of(target)) + ": " + error);
    drop_refused_.push_back(target);
  }
  write_diagnostic_line("NATIVE drop target unavailable: " + error);
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
