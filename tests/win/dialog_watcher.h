// Answers the modal dialogs a test provokes: a thread that looks at the
// dialog windows of one process (this one unless told otherwise), records
// what they show and presses a button when the test's rule says so. Works
// for message boxes and task dialogs (under Wine a task dialog is an
// ordinary dialog whose texts are child controls).
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vesk::testing {

struct DialogSnapshot {
  HWND window = nullptr;
  std::wstring caption;
  std::vector<std::wstring> texts;  // every child's text, in child order
  std::vector<int> buttons;         // control ids of the buttons
  int progress = -1;                // progress bar position, -1 without one

  // True when any text contains `part`.
  bool shows(std::wstring_view part) const;
};

class DialogWatcher {
 public:
  // Returns the id of the button to press, or 0 to look again later (the
  // dialog may still be filling in, or the test waits for a later state).
  using Rule = std::function<int(const DialogSnapshot&)>;

  // `process` 0 watches this process. Another process's dialogs are read
  // and pressed the same way, through window messages.
  explicit DialogWatcher(Rule rule, std::chrono::milliseconds poll = std::chrono::milliseconds(25),
                         DWORD process = 0);
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;

  // Every distinct state of every dialog seen so far, oldest first.
  std::vector<DialogSnapshot> seen() const;
  // Dialogs (by window) the watcher has pressed a button in, in order.
  std::vector<DialogSnapshot> answered() const;

  // Rules for common cases.
  static Rule press(int button);  // press `button` in every dialog at once
  static Rule press_when(std::wstring part, int button);

 private:
  void run();
  void look();

  Rule rule_;
  std::chrono::milliseconds poll_;
  DWORD process_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<DialogSnapshot> seen_;
  std::vector<DialogSnapshot> answered_;
  std::vector<HWND> pressed_;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace vesk::testing
