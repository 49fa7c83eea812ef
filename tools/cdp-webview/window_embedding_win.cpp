#include "window_embedding_win.h"

#include <map>
#include <vector>

#include "platform/com.h"
#include "wine_paths_win.h"

namespace vesk::cdp {
namespace {

using SpawnFunction = LONG(WINAPI*)(char* const argv[], int wait);

SpawnFunction unix_spawn() {
  static const auto spawn = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<SpawnFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "__wine_unix_spawnvp")))
                 : nullptr;
  }();
  return spawn;
}

// Runs a Unix program, to its end unless told not to wait; true when it
// could be started.
bool run(std::vector<std::string> args, bool wait = true) {
  const SpawnFunction spawn = unix_spawn();
  if (!spawn || args.empty()) return false;
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return spawn(argv.data(), wait ? 1 : 0) == 0;
}

bool run_xdotool(std::vector<std::string> args) {
  if (args.empty()) return true;
  args.insert(args.begin(), "xdotool");
  return run(std::move(args));
}

// Runs a Unix program and gives its standard output: Wine's spawn hands the
// child our own Unix output, so it goes through a file.
std::string output_of(std::vector<std::string> command) {
  wchar_t folder[MAX_PATH] = {};
  wchar_t file[MAX_PATH] = {};
  if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vsk", 0, file)) return {};
  std::string text;
  const std::string unix_file = unix_path_of(file);
  if (!unix_file.empty() && run(with_output_to(unix_file, std::move(command)))) {
    win::UniqueHandle handle(
        CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD got = 0;
    while (handle.valid() && text.size() < 65536 && ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
      text.append(buffer, got);
    }
  }
  DeleteFileW(file);
  return text;
}

// Wine's X window of a top-level window, decimal; empty when there is none.
std::string x_window_of(HWND window) {
  const auto id = reinterpret_cast<ULONG_PTR>(GetPropW(window, L"__wine_x11_whole_window"));
  return id ? std::to_string(id) : std::string();
}

// The embedded windows by their modal-state timer (thread timers of the UI
// thread, so they also run inside a dialog's own message loop).
std::map<UINT_PTR, EmbeddedBrowserWindow*>& modal_followers() {
  static std::map<UINT_PTR, EmbeddedBrowserWindow*> followers;
  return followers;
}

void CALLBACK on_modal_timer(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = modal_followers().find(id);
  if (found != modal_followers().end()) found->second->follow_modal_state();
}

}  // namespace

EmbeddedBrowserWindow::EmbeddedBrowserWindow(HWND host, std::string window, std::string parent)
    : host_(host), window_(std::move(window)), parent_(std::move(parent)) {}

EmbeddedBrowserWindow::~EmbeddedBrowserWindow() { release(); }

std::unique_ptr<EmbeddedBrowserWindow> EmbeddedBrowserWindow::attach(HWND host, const std::string& title, RECT bounds,
                                                                     bool shown, std::string& error) {
  if (!unix_spawn()) {
    error = "not running under Wine";
    return nullptr;
  }
  std::string parent = x_window_of(host);
  if (parent.empty()) {
    error = "the host window has no X window";
    return nullptr;
  }
  std::string window = parse_window_id(output_of(find_window_arguments(title, "10")));
  if (window.empty()) {
    error = "no browser window titled " + title + " (is xdotool installed?)";
    return nullptr;
  }
  std::unique_ptr<EmbeddedBrowserWindow> embedded(new EmbeddedBrowserWindow(host, std::move(window), std::move(parent)));
  if (!embedded->measure_origin()) {
    embedded->released_ = true;  // never moved, nothing to undo
    error = "could not read the host's X window geometry";
    return nullptr;
  }
  const ChildPlacement placement = embedded->placement_for(bounds, shown);
  if (!run_xdotool(embed_arguments(embedded->window_, embedded->parent_, placement))) {
    embedded->released_ = true;
    error = "could not run xdotool";
    return nullptr;
  }
  embedded->placed_ = placement;
  embedded->modal_timer_ = SetTimer(nullptr, 0, 25, &on_modal_timer);
  if (embedded->modal_timer_) modal_followers()[embedded->modal_timer_] = embedded.get();
  return embedded;
}

bool EmbeddedBrowserWindow::measure_origin() {
  RECT frame{};
  const auto origin = parse_window_origin(output_of({"xdotool", "getwindowgeometry", "--shell", parent_}));
  if (!origin || !GetWindowRect(host_, &frame)) return false;
  // X's root starts at the top-left of Wine's virtual screen.
  const long root_x = origin->x + GetSystemMetrics(SM_XVIRTUALSCREEN);
  const long root_y = origin->y + GetSystemMetrics(SM_YVIRTUALSCREEN);
  frame_offset_ = {root_x - frame.left, root_y - frame.top};
  measured_style_ = GetWindowLongPtrW(host_, GWL_STYLE);
  measured_ex_style_ = GetWindowLongPtrW(host_, GWL_EXSTYLE);
  return true;
}

ChildPlacement EmbeddedBrowserWindow::placement_for(RECT bounds, bool shown) const {
  POINT corner{bounds.left, bounds.top};
  ClientToScreen(host_, &corner);
  RECT frame{};
  GetWindowRect(host_, &frame);
  return child_placement({corner.x, corner.y}, {frame.left + frame_offset_.x, frame.top + frame_offset_.y},
                         bounds.right - bounds.left, bounds.bottom - bounds.top, shown);
}

void EmbeddedBrowserWindow::place(RECT bounds, bool shown) {
  if (released_ || !IsWindow(host_)) return;
  // Minimised, Windows reports a rectangle far off the screen; the X child
  // is hidden with its parent anyway, so nothing needs to move.
  if (IsIconic(host_)) {
    was_iconic_ = true;
    return;
  }
  if (was_iconic_ && placed_ && placed_->shown) {
    // Unmapping the host took the browser's contents and the browser did not
    // see it happen; a new size once the host shows makes it draw them. Wine
    // maps the host from this thread after we return, so the command waits
    // for that on its own, not waited for here.
    run(redraw_when_viewable_arguments(window_, "10"), false);
  }
  was_iconic_ = false;
  if (GetWindowLongPtrW(host_, GWL_STYLE) != measured_style_ ||
      GetWindowLongPtrW(host_, GWL_EXSTYLE) != measured_ex_style_) {
    measure_origin();
  }
  ChildPlacement placement = placement_for(bounds, shown);
  if ((placement.width <= 0 || placement.height <= 0) && placed_) {
    // Not sent, so the window keeps the place it had.
    const bool now_shown = placement.shown;
    placement = *placed_;
    placement.shown = now_shown;
  }
  if (run_xdotool(placement_arguments(window_, placed_, placement))) placed_ = placement;
}

void EmbeddedBrowserWindow::follow_modal_state() {
  if (released_ || !IsWindow(host_)) return;
  const HWND root = GetAncestor(host_, GA_ROOT);
  if (!IsWindowEnabled(root)) {
    // The dialog is the active window of this thread once it shows.
    const HWND active = GetActiveWindow();
    if (!active || active == root) return;
    const std::string dialog = x_window_of(active);
    if (dialog.empty() || dialog == focus_given_to_) return;
    if (focus_given_to_.empty()) focus_before_ = parse_window_id(output_of({"xdotool", "getwindowfocus"}));
    if (run_xdotool({"windowfocus", dialog})) focus_given_to_ = dialog;
  } else if (!focus_given_to_.empty()) {
    // Back to the window that had the keyboard (the browser, or the host
    // with the pointer deciding), unless that was the dialog itself.
    // (PointerRoot reads as 1.)
    const std::string back = focus_before_.size() < 2 || focus_before_ == focus_given_to_ ? parent_ : focus_before_;
    focus_given_to_.clear();
    focus_before_.clear();
    if (GetActiveWindow() == root) run_xdotool({"windowfocus", back});
  }
}

void EmbeddedBrowserWindow::release() {
  if (modal_timer_) {
    KillTimer(nullptr, modal_timer_);
    modal_followers().erase(modal_timer_);
    modal_timer_ = 0;
  }
  if (released_) return;
  released_ = true;
  run_xdotool({"windowunmap", "--sync", window_});
}

}  // namespace vesk::cdp
