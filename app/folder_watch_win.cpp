#include "app/folder_watch_win.h"

#include "platform/strings.h"

namespace vesk::win {

FolderWatcher::FolderWatcher(const std::string& folder, HWND window, UINT message) : folder_(folder) {
  stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stop_.valid() || folder.empty()) return;
  change_ = FindFirstChangeNotificationW(
      to_utf16(folder).c_str(), FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (change_ == INVALID_HANDLE_VALUE) return;
  HANDLE handles[2] = {stop_.get(), change_};
  thread_ = std::thread([handles, window, message] {
    for (;;) {
      const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      if (woke != WAIT_OBJECT_0 + 1) return;  // stopped, or the wait failed
      PostMessageW(window, message, 0, 0);
      if (!FindNextChangeNotification(handles[1])) return;
    }
  });
}

FolderWatcher::~FolderWatcher() {
  if (stop_.valid()) SetEvent(stop_.get());
  if (thread_.joinable()) thread_.join();
  if (change_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change_);
}

}  // namespace vesk::win
