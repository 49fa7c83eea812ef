// The browser's app window held inside the host window, under Wine with a
// display (see window_embedding.h). Wine gives each top-level window an X
// window of its own and names it in the window property
// "__wine_x11_whole_window"; xdotool runs through Wine's own way of starting
// a Unix program (ntdll's __wine_unix_spawnvp), waited for, so the steps
// happen in order.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "window_embedding.h"

namespace vesk::cdp {

class EmbeddedBrowserWindow {
 public:
  // Finds the browser window whose title starts with `title` and moves it
  // into `host` over `bounds` (the host's client coordinates). Null, with
  // the reason, when this is not Wine, the host has no X window, or no such
  // window shows up.
  static std::unique_ptr<EmbeddedBrowserWindow> attach(HWND host, const std::string& title, RECT bounds, bool shown,
                                                       std::string& error);
  ~EmbeddedBrowserWindow();
  EmbeddedBrowserWindow(const EmbeddedBrowserWindow&) = delete;
  EmbeddedBrowserWindow& operator=(const EmbeddedBrowserWindow&) = delete;

  // Follows the control's bounds and visibility.
  void place(RECT bounds, bool shown);
  // Takes the window out of sight before the host's X window goes, which
  // would otherwise destroy it under the browser's feet.
  void release();

  // While the host's window is disabled for a modal dialog, the keyboard goes
  // to that dialog, as the real control lets go of the focus; when the host
  // is enabled again the browser takes it back. X would otherwise keep
  // sending keys to the browser window under the pointer.
  void follow_modal_state();

 private:
  EmbeddedBrowserWindow(HWND host, std::string window, std::string parent);
  bool measure_origin();
  ChildPlacement placement_for(RECT bounds, bool shown) const;

  HWND host_;
  std::string window_;  // the browser's X window id, decimal
  std::string parent_;  // the host's
  // Where the host's X window lies relative to its Windows window rectangle:
  // a window manager's frame is outside the X window, so this depends on the
  // style, and is measured again when the style changes.
  ScreenPoint frame_offset_;
  LONG_PTR measured_style_ = 0;
  LONG_PTR measured_ex_style_ = 0;
  std::optional<ChildPlacement> placed_;
  bool was_iconic_ = false;
  bool released_ = false;
  UINT_PTR modal_timer_ = 0;
  std::string focus_given_to_;  // the dialog's X window while the host is disabled
  std::string focus_before_;    // the X window that had the keyboard before it
};

}  // namespace vesk::cdp
