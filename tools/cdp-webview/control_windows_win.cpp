#include "control_windows_win.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "webview_support_win.h"

namespace vesk::cdp {
namespace {

constexpr wchar_t kHostClass[] = L"Chrome_WidgetWin_0";
constexpr wchar_t kBrowserClass[] = L"Chrome_WidgetWin_1";
constexpr wchar_t kRenderClass[] = L"Chrome_RenderWidgetHostHWND";

HMODULE this_library() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&this_library), &self);
  return self;
}

void register_class(const wchar_t* name) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = this_library();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = name;
  RegisterClassW(&window_class);  // fails harmlessly once registered
}

// The control's own target. The real one hands drops to the page; ours
// takes none, since the page's drops are not what the host's tests are about.
class RefusingDropTarget final : public IDropTarget, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(IDropTarget)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override { return refuse(effect); }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override { return refuse(effect); }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override { return refuse(effect); }

 private:
  static HRESULT refuse(DWORD* effect) {
    if (effect) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
};

// The browser's windows come from another process: rundll32 running this
// library's VeskBrowserWindows with the host window's handle. It runs a copy
// in the temporary folder: the real browser processes never load a file from
// the application's folder, and a process holding one there outlives Vesk
// by a moment, long enough to stop an installer from replacing that file.
void start_browser_windows(HWND host) {
  wchar_t library[MAX_PATH] = {};
  wchar_t temp[MAX_PATH] = {};
  wchar_t short_library[MAX_PATH] = {};
  wchar_t system[MAX_PATH] = {};
  if (!GetModuleFileNameW(this_library(), library, MAX_PATH) || !GetSystemDirectoryW(system, MAX_PATH) ||
      !GetTempPathW(MAX_PATH, temp)) {
    return;
  }
  const std::wstring copy =
      std::wstring(temp) + L"vesk-cdp-windows-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  // A copy an earlier controller of this process still runs is the same file.
  if (!CopyFileW(library, copy.c_str(), FALSE) && GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  // rundll32 reads "library,entry" up to the first space: no spaces in it.
  if (!GetShortPathNameW(copy.c_str(), short_library, MAX_PATH)) return;
  const std::wstring program = std::wstring(system) + L"\\rundll32.exe";
  std::wstring command = L"\"" + program + L"\" " + short_library + L",VeskBrowserWindows " +
                         std::to_wstring(reinterpret_cast<std::uintptr_t>(host));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

bool browser_windows_present(HWND host) {
  HWND browser = FindWindowExW(host, nullptr, kBrowserClass, nullptr);
  return browser && FindWindowExW(browser, nullptr, kRenderClass, nullptr);
}

RECT client_of(HWND window) {
  RECT area{};
  GetClientRect(window, &area);
  return area;
}

HWND create_filling(const wchar_t* window_class, HWND parent) {
  const RECT area = client_of(parent);
  return CreateWindowExW(WS_EX_NOPARENTNOTIFY, window_class, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                         area.right - area.left, area.bottom - area.top, parent, nullptr, this_library(), nullptr);
}

}  // namespace

ControlWindows::ControlWindows(HWND parent, const RECT& bounds) {
  register_class(kHostClass);
  window_ = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                            bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                            nullptr, this_library(), nullptr);
  if (!window_) return;
  ole_ = SUCCEEDED(OleInitialize(nullptr));
  if (ole_) {
    drop_target_ = new RefusingDropTarget();
    if (FAILED(RegisterDragDrop(window_, drop_target_))) {
      drop_target_->Release();
      drop_target_ = nullptr;
    }
  }
  start_browser_windows(window_);
  // The real control's windows are all there once it reports the controller
  // created. Theirs are made in another process, which may send to this
  // thread meanwhile: take sent messages while waiting.
  const ULONGLONG give_up = GetTickCount64() + 10000;
  while (!browser_windows_present(window_) && GetTickCount64() < give_up) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void ControlWindows::move(const RECT& bounds) {
  if (window_) {
    SetWindowPos(window_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void ControlWindows::show(bool visible) {
  if (window_) ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
}

void ControlWindows::reparent(HWND parent) {
  if (window_ && parent && IsWindow(parent)) SetParent(window_, parent);
}

void ControlWindows::close() {
  if (drop_target_) {
    // Revoked only while it is still ours: a host may have put its own
    // target on our window in its place, which OLE then holds instead.
    const ULONG held = drop_target_->AddRef() - 1;
    drop_target_->Release();
    if (held > 1) RevokeDragDrop(window_);
    drop_target_->Release();
    drop_target_ = nullptr;
  }
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
  if (ole_) OleUninitialize();
  ole_ = false;
}

}  // namespace vesk::cdp

// rundll32's entry: the browser's windows under the host window named by
// `arguments`, kept filling it until it goes.
extern "C" __declspec(dllexport) void CALLBACK VeskBrowserWindows(HWND, HINSTANCE, LPSTR arguments, int) {
  using namespace vesk::cdp;
  const auto host = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(arguments, nullptr, 10)));
  if (!host || !IsWindow(host)) return;
  register_class(kBrowserClass);
  register_class(kRenderClass);
  HWND browser = create_filling(kBrowserClass, host);
  HWND render = browser ? create_filling(kRenderClass, browser) : nullptr;
  if (!render) return;
  SetTimer(nullptr, 0, 250, nullptr);
  RECT last = client_of(host);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && !message.hwnd) {
      if (!IsWindow(host) || !IsWindow(browser)) break;
      const RECT area = client_of(host);
      if (!EqualRect(&area, &last)) {
        last = area;
        SetWindowPos(browser, nullptr, 0, 0, area.right, area.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(render, nullptr, 0, 0, area.right, area.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
      }
      continue;
    }
    DispatchMessageW(&message);
  }
}
