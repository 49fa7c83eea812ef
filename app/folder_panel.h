// FolderPanel: the native half of the page's folder panel. It lists a folder's
// children and indexes the whole tree on worker threads, watches the tree for
// other programs' changes, and carries out the panel's file operations. Every
// result reaches the UI thread as a message posted to the main window; the UI
// thread never waits for the disk. UI thread only, apart from its workers.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/json.h"

namespace vesk::win {

struct FolderPanelCallbacks {
  std::function<void(const std::string& script)> run_script;
  std::function<void(const std::string& path, bool new_window)> open_file;
  std::function<void(const std::string& text)> set_status;
  // The file or folder at `from` now lives at `to` (renamed by the panel).
  std::function<void(const std::string& from, const std::string& to)> moved;
};

class FolderPanel {
 public:
  FolderPanel(HWND window, UINT result_message, FolderPanelCallbacks callbacks);
  ~FolderPanel();
  FolderPanel(const FolderPanel&) = delete;
  FolderPanel& operator=(const FolderPanel&) = delete;

  // Shows `root` (a folder): lists it, starts its index and its watcher. The
  // same root again only lists and indexes it anew (a reloaded page).
  void open_root(const std::string& root);
  const std::string& root() const { return root_; }
  // True once the watcher of the root is in place: changes from then on are seen.
  bool watching() const { return watching_; }

  // A page message whose type starts with "folder"; true when it was one of ours.
  bool handle_page_message(const JsonValue& message);

  // The window's result_message; `lparam` is a result the workers posted.
  void on_result(LPARAM lparam);
  static void discard_result(LPARAM lparam);

  // Panel visibility and width, kept under HKCU\Software\Vesk.
  static bool load_layout(bool& visible, int& width);
  static void save_layout(bool visible, int width);

  // Starts another Vesk, with `path` or untitled when it is empty.
  static bool start_new_window(const std::string& path);

  // What the panel shares with its workers (folder_panel_win.cpp).
  struct Shared;

 private:
  void list(const std::string& relative);
  void start_index();
  void start_watcher();
  void stop_workers();
  void rename(const std::string& relative, const std::string& name);
  void remove(const std::string& relative);
  void create(const std::string& relative_dir, const std::string& name, bool folder);
  void reveal(const std::string& relative);

  HWND window_;
  UINT result_message_;
  FolderPanelCallbacks callbacks_;
  std::string root_;
  std::shared_ptr<Shared> shared_;
  std::thread index_thread_;
  std::thread watch_thread_;
  HANDLE watch_stop_ = nullptr;
  bool watching_ = false;
};

}  // namespace vesk::win
