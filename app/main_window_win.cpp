// The main window's life: creation, the window procedure, the message loop,
// timers and the shutdown order.
#include "app/main_window.h"

#include <memory>

#include "core/commands.h"
#include "webhost/web_host_view.h"
#include "app/folder_panel.h"
#include "app/shell_host.h"
#include "app/folder_watch_win.h"
#include "platform/callback_guard.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {

VeskMainWindow* main_window_instance = nullptr;

namespace {

constexpr wchar_t kWindowClass[] = L"VeskNativeWindow";
constexpr int kClientWidth = 1180;
constexpr int kClientHeight = 820;
constexpr int kMinWidth = 760;
constexpr int kMinHeight = 520;

}  // namespace

VeskMainWindow::VeskMainWindow(HINSTANCE instance) : instance_(instance) {}

VeskMainWindow::~VeskMainWindow() {
  if (keyboard_hook) UnhookWindowsHookEx(keyboard_hook);
  keyboard_hook = nullptr;
  if (main_window_instance == this) main_window_instance = nullptr;
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  // Whatever WM_DESTROY did not get to, in reverse order of creation.
  core_.reset();
  host_adapter_.reset();
  if (web_host_) web_host_->close();
  web_host_.reset();
}

bool VeskMainWindow::create_window() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = &VeskMainWindow::window_procedure;
  window_class.hInstance = instance_;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The program icon (resource 1) in the title bar and the task bar, at the
  // sizes the system asks for.
  window_class.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                     0, 0, LR_DEFAULTSIZE | LR_SHARED));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }

  const UINT dpi = GetDpiForSystem();
  RECT frame{0, 0, MulDiv(kClientWidth, static_cast<int>(dpi), 96),
             MulDiv(kClientHeight, static_cast<int>(dpi), 96)};
  AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0, dpi);

  HWND created = CreateWindowExW(0, kWindowClass, L"Vesk", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, frame.right - frame.left,
                                 frame.bottom - frame.top, nullptr, nullptr, instance_, this);
  if (!created) return false;

  main_window_instance = this;
  install_keyboard_hook();
  return true;
}

void VeskMainWindow::show_window(int show_command) {
  if (!window_) return;
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
}

int VeskMainWindow::run_message_loop() {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (accelerator_table_ && TranslateAcceleratorW(window_, accelerator_table_, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK VeskMainWindow::window_procedure(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  VeskMainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<VeskMainWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<VeskMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  LRESULT result = 0;
  if (run_guarded([&] { result = self->handle_message(window, message, wparam, lparam); })) return result;
  return DefWindowProcW(window, message, wparam, lparam);
}

bool VeskMainWindow::drop_during_teardown(UINT message, LPARAM lparam) {
  if (!tearing_down_) return false;
  switch (message) {
    case kDropPathsMessage:
      delete reinterpret_cast<std::vector<std::string>*>(lparam);
      return true;
    case kUpdateResultMessage:
      discard_update_result(lparam);
      return true;
    case kFolderResultMessage:
      FolderPanel::discard_result(lparam);
      return true;
    case kRunCommandMessage:
    case kSnapshotMessage:
    case kFolderChangedMessage:
    case kCheckDiskMessage:
    case WM_COMMAND:
    case WM_TIMER:
    case WM_CLOSE:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      return true;
    default:
      return false;
  }
}

LRESULT VeskMainWindow::handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (drop_during_teardown(message, lparam)) return 0;
  switch (message) {
    case WM_CREATE:
      return on_create();
    case WM_DESTROY:
      on_destroy();
      return 0;
    case WM_SIZE:
      resize_web_host();
      return 0;
    case WM_CLOSE:
      on_close();
      return 0;
    case WM_INITMENUPOPUP:
      // The themes folder and the recent documents may have changed since
      // their menus were last open.
      if (theme_menu_ && reinterpret_cast<HMENU>(wparam) == theme_menu_) fill_theme_menu(theme_menu_);
      if (recent_menu_ && reinterpret_cast<HMENU>(wparam) == recent_menu_) fill_recent_menu();
      break;
    case WM_SETTINGCHANGE:
      if (lparam && follow_system_theme_ &&
          std::wstring_view(reinterpret_cast<const wchar_t*>(lparam)) == L"ImmersiveColorSet") {
        update_theme();
        return 0;
      }
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      const int dpi = static_cast<int>(GetDpiForWindow(window));
      info->ptMinTrackSize.x = MulDiv(kMinWidth, dpi, 96);
      info->ptMinTrackSize.y = MulDiv(kMinHeight, dpi, 96);
      return 0;
    }
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      // Bit 30: the key was already down, this is its auto-repeat.
      if (handle_key_down(static_cast<std::uint32_t>(wparam), (lparam & (1 << 30)) != 0)) return 0;
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) {
        resync_keyboard();
        // Looked at once the activation is done, outside this message.
        PostMessageW(window, kCheckDiskMessage, 0, 0);
      }
      break;
    case WM_COMMAND:
      on_menu_command(LOWORD(wparam));
      return 0;
    case WM_TIMER:
      if (wparam >= kStartupCommandTimer && wparam <= kFolderSettledTimer) {
        on_timer(wparam);
        return 0;
      }
      break;
    case kDropPathsMessage: {
      std::unique_ptr<std::vector<std::string>> paths(
          reinterpret_cast<std::vector<std::string>*>(lparam));
      write_diagnostic_line("NATIVE drop paths=" + std::to_string(paths ? paths->size() : 0));
      if (paths && core_) core_->handle_dropped_paths(*paths);
      return 0;
    }
    case kRunCommandMessage:
      run_command(static_cast<int>(wparam));
      return 0;
    case kUpdateResultMessage:
      on_update_result(lparam);
      return 0;
    case kSnapshotMessage:
      take_snapshot();
      return 0;
    case kFolderResultMessage:
      if (folder_panel_) {
        folder_panel_->on_result(lparam);
      } else {
        FolderPanel::discard_result(lparam);
      }
      return 0;
    case kFolderChangedMessage:
      // Restarted by every change of a burst.
      SetTimer(window, kFolderSettledTimer, 300, nullptr);
      return 0;
    case kCheckDiskMessage:
      check_external_change();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT VeskMainWindow::on_create() {
  if (web_host_) web_host_->close();
  web_host_ = std::make_unique<WebHostView>(
      window_, [this] { on_page_loaded(); },
      [this](std::string_view json) { on_page_message(json); },
      [this](std::uint32_t key, std::uint16_t modifiers, bool repeat) {
        return handle_page_accelerator(key, modifiers, repeat);
      });
  host_adapter_ = std::make_unique<ShellHost>(this);
  core_ = std::make_unique<EditorCore>(host_adapter_.get());
  load_welcome_document();
  resize_web_host();
  install_menus();
  follow_system_theme_ = true;
  restore_theme_choice();
  update_theme();
  start_updater();
  return 0;
}

void VeskMainWindow::on_destroy() {
  // From here on the parts go away one by one, and closing the web control
  // may run the message loop: nothing that arrives may start work.
  tearing_down_ = true;
  folder_watcher_.reset();
  // A window that closes normally leaves no backup behind.
  remove_backup();
  revoke_drop_target();
  KillTimer(window_, kUpdateCheckTimer);
  folder_panel_.reset();  // stops its watcher before the window goes
  if (web_host_) web_host_->close();
  web_host_.reset();
  core_.reset();
  host_adapter_.reset();
  if (accelerator_table_) DestroyAcceleratorTable(accelerator_table_);
  accelerator_table_ = nullptr;
  PostQuitMessage(0);
}

void VeskMainWindow::on_close() {
  if (!core_ || !core_->is_dirty()) {
    DestroyWindow(window_);
    return;
  }
  switch (ask_unsaved_changes(window_, display_name())) {
    case UnsavedAnswer::Save:
      document_.defer(AfterSaveAction::CloseWindow);
      core_->request_snapshot();
      break;
    case UnsavedAnswer::Discard:
      DestroyWindow(window_);
      break;
    case UnsavedAnswer::Cancel:
      break;
  }
}

void VeskMainWindow::on_menu_command(UINT id) {
  if (id == kExitMenuId) {
    SendMessageW(window_, WM_CLOSE, 0, 0);
  } else if (id == kCheckUpdatesMenuId) {
    check_for_updates_now();
  } else if (id == kOpenThemesFolderMenuId) {
    open_themes_folder();
  } else if (id >= kThemeMenuFirst && id <= kThemeMenuLast) {
    choose_theme(static_cast<int>(id - kThemeMenuFirst));
  } else if (id >= kRecentMenuFirst && id <= kClearRecentMenuId) {
    on_recent_menu(id);
  } else if (find_command(static_cast<int>(id))) {
    run_command(static_cast<int>(id));
  }
}

void VeskMainWindow::on_timer(UINT_PTR id) {
  switch (id) {
    case kStartupCommandTimer:
      KillTimer(window_, id);
      run_startup_command();
      break;
    case kSnapshotTimer:
      KillTimer(window_, id);
      take_snapshot();
      break;
    case kPdfWaitTimer: {
      KillTimer(window_, id);
      const std::function<void()> next = std::move(pdf_wait_);
      pdf_wait_ = nullptr;
      if (next) next();
      break;
    }
    case kDropProbeTimer:
      KillTimer(window_, id);
      run_drop_probe();
      break;
    case kUpdateCheckTimer:
      on_update_timer();
      break;
    case kFolderSettledTimer:
      KillTimer(window_, id);
      check_external_change();
      break;
    default:
      break;
  }
}

void VeskMainWindow::resize_web_host() {
  if (!window_ || !web_host_) return;
  RECT client{};
  GetClientRect(window_, &client);
  web_host_->resize(client.right - client.left, client.bottom - client.top);
}

void VeskMainWindow::set_status(const std::string& text) {
  if (text.empty()) return;
  if (core_ && core_->is_page_ready()) {
    // `text` may be pending_status_ itself: send it before forgetting it.
    if (web_host_) web_host_->run_script(page_call_string("setStatus", text));
    pending_status_.clear();
  } else {
    pending_status_ = text;
  }
}

void VeskMainWindow::on_page_loaded() {
  if (!core_) return;
  if (web_host_) {
    web_host_->run_script(platform_class_script("win"));
    web_host_->focus();
  }
  ensure_drop_target();
  update_title();
  write_diagnostic_line("NATIVE navigation completed");
}

void VeskMainWindow::on_page_message(std::string_view json) {
  if (handle_folder_message(json)) return;
  if (core_) core_->handle_page_message(json);
}

}  // namespace vesk::win
