// Files dragged from the shell onto the editor: an OLE drop target on the web
// control's child window (or the main window), which accepts a drag when the
// editor can use one of its paths and posts the paths to the main window with
// the message number the window chose.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

#include "webhost/com_object.h"

namespace vesk::win {

using AcceptPaths = std::function<bool(const std::vector<std::string>& paths)>;

class DropTarget final : public IDropTarget, public RefCounted {
 public:
  DropTarget(HWND window, UINT paths_message, AcceptPaths accept_paths);

  HWND window() const { return window_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD key_state, POINTL point,
                                      DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD key_state, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD key_state, POINTL point,
                                 DWORD* effect) override;

 private:
  bool accepts(IDataObject* data) const;

  HWND window_;
  UINT paths_message_;  // lParam: a new std::vector<std::string>, the window's to free
  AcceptPaths accept_paths_;
  bool accepted_ = false;
};

// Registers a new target on `window` that posts `paths_message` to its
// top-level window. The caller holds the returned reference (OLE holds its
// own); on failure null and a reason in `error`.
DropTarget* register_drop_target(HWND window, UINT paths_message, AcceptPaths accept_paths, std::string& error);

// The web control's windows under `main_window` that a drop target may go
// on, best first: the browser's render widget, its outer window, then the
// control's own window (on Windows the first two belong to the browser's
// process, where RegisterDragDrop refuses them); visible before invisible.
std::vector<HWND> web_control_windows(HWND main_window);
// The first of them, or null.
HWND web_control_window(HWND main_window);

// The window's class name, for the log.
std::wstring class_name_of(HWND window);

// The file paths a drag carries (CF_HDROP), in the shell's order.
std::vector<std::string> dropped_paths(IDataObject* data);

}  // namespace vesk::win
