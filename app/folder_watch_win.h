// FolderWatcher: a thread that waits for changes in one folder (names,
// sizes, write times) and posts a message to a window for each burst. The
// window decides what a change means; this only wakes it.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "platform/com.h"

namespace vesk::win {

class FolderWatcher {
 public:
  // Posts `message` to `window` after each change seen in `folder`. Watches
  // nothing when the folder cannot be watched.
  FolderWatcher(const std::string& folder, HWND window, UINT message);
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  const std::string& folder() const { return folder_; }
  bool watching() const { return thread_.joinable(); }

 private:
  std::string folder_;
  UniqueHandle stop_;
  HANDLE change_ = INVALID_HANDLE_VALUE;  // closed with FindCloseChangeNotification
  std::thread thread_;
};

}  // namespace vesk::win
