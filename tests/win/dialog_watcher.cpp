#include "tests/win/dialog_watcher.h"

#include <commctrl.h>

#include <algorithm>

namespace vesk::testing {
namespace {

// Another thread's window answers WM_GETTEXT through its message loop; a
// bounded wait keeps a stuck dialog from hanging the watcher.
std::wstring window_text(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length)) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 1000, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(copied, text.size() - 1));
  return text;
}

std::wstring class_name(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

BOOL CALLBACK add_child(HWND child, LPARAM data) {
  auto& snapshot = *reinterpret_cast<DialogSnapshot*>(data);
  const std::wstring type = class_name(child);
  if (!::IsWindowVisible(child)) return TRUE;
  if (_wcsicmp(type.c_str(), PROGRESS_CLASSW) == 0) {
    DWORD_PTR position = 0;
    if (::SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position)) {
      snapshot.progress = static_cast<int>(position);
    }
    return TRUE;
  }
  if (_wcsicmp(type.c_str(), L"Button") == 0) snapshot.buttons.push_back(::GetDlgCtrlID(child));
  std::wstring text = window_text(child);
  if (!text.empty()) snapshot.texts.push_back(std::move(text));
  return TRUE;
}

struct DialogSearch {
  DWORD process;
  std::vector<HWND> dialogs;
};

BOOL CALLBACK add_dialog(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<DialogSearch*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == search.process && ::IsWindowVisible(window) && class_name(window) == L"#32770") {
    search.dialogs.push_back(window);
  }
  return TRUE;
}

bool same_state(const DialogSnapshot& a, const DialogSnapshot& b) {
  return a.window == b.window && a.caption == b.caption && a.texts == b.texts && a.progress == b.progress;
}

}  // namespace

bool DialogSnapshot::shows(std::wstring_view part) const {
  return std::any_of(texts.begin(), texts.end(),
                     [part](const std::wstring& text) { return text.find(part) != std::wstring::npos; });
}

DialogWatcher::DialogWatcher(Rule rule, std::chrono::milliseconds poll, DWORD process)
    : rule_(std::move(rule)),
      poll_(poll),
      process_(process ? process : ::GetCurrentProcessId()),
      thread_([this] { run(); }) {}

DialogWatcher::~DialogWatcher() {
  stop_.store(true);
  thread_.join();
}

std::vector<DialogSnapshot> DialogWatcher::seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

std::vector<DialogSnapshot> DialogWatcher::answered() const {
  std::lock_guard lock(mutex_);
  return answered_;
}

DialogWatcher::Rule DialogWatcher::press(int button) {
  return [button](const DialogSnapshot&) { return button; };
}

DialogWatcher::Rule DialogWatcher::press_when(std::wstring part, int button) {
  return [part = std::move(part), button](const DialogSnapshot& dialog) { return dialog.shows(part) ? button : 0; };
}

void DialogWatcher::run() {
  while (!stop_.load()) {
    look();
    std::this_thread::sleep_for(poll_);
  }
}

void DialogWatcher::look() {
  DialogSearch search{process_, {}};
  ::EnumWindows(add_dialog, reinterpret_cast<LPARAM>(&search));
  for (const HWND dialog : search.dialogs) {
    DialogSnapshot snapshot;
    snapshot.window = dialog;
    snapshot.caption = window_text(dialog);
    ::EnumChildWindows(dialog, add_child, reinterpret_cast<LPARAM>(&snapshot));
    {
      std::lock_guard lock(mutex_);
      // A closed dialog's handle can be reused by the next one.
      if (std::find(pressed_.begin(), pressed_.end(), dialog) != pressed_.end()) continue;
      const auto last = std::find_if(seen_.rbegin(), seen_.rend(),
                                     [dialog](const DialogSnapshot& s) { return s.window == dialog; });
      if (last == seen_.rend() || !same_state(*last, snapshot)) seen_.push_back(snapshot);
    }
    const int button = rule_(snapshot);
    if (button == 0) continue;
    const HWND control = ::GetDlgItem(dialog, button);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    std::lock_guard lock(mutex_);
    pressed_.push_back(dialog);
    answered_.push_back(snapshot);
  }
  // Forget pressed dialogs once they are gone, so a reused handle is seen.
  std::lock_guard lock(mutex_);
  std::erase_if(pressed_, [](HWND window) { return !::IsWindow(window); });
}

}  // namespace vesk::testing
