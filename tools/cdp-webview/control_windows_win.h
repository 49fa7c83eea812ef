// The control's windows, as the real one has them. Under the host's window
// it creates a `Chrome_WidgetWin_0` of its own, in the host's process and
// registered as a drop target; under that the browser process puts its
// `Chrome_WidgetWin_1` and, inside it, the `Chrome_RenderWidgetHostHWND`.
// Ours are made by a second Windows process (rundll32 running this library's
// VeskBrowserWindows), so whatever the host does to them crosses processes
// as it does on Windows: RegisterDragDrop refuses them.
#pragma once

#include <windows.h>

#include <ole2.h>

namespace vesk::cdp {

class ControlWindows {
 public:
  // Creates the host-process window under `parent` over `bounds` and starts
  // the process that adds the browser's windows beneath it.
  ControlWindows(HWND parent, const RECT& bounds);
  ~ControlWindows() { close(); }
  ControlWindows(const ControlWindows&) = delete;
  ControlWindows& operator=(const ControlWindows&) = delete;

  HWND window() const { return window_; }
  void move(const RECT& bounds);
  void show(bool visible);
  void reparent(HWND parent);
  // Takes the window down (the browser's windows go with it).
  void close();

 private:
  HWND window_ = nullptr;
  IDropTarget* drop_target_ = nullptr;  // ours, while OLE may still hold it
  bool ole_ = false;
};

}  // namespace vesk::cdp
