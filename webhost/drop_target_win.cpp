// The OLE drop target and its registration. OLE calls the target on the UI
// thread inside its modal drag loop, so Drop only posts the paths; the window
// opens them once the drag is over.
#include "webhost/drop_target.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

std::string hresult_text(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
  return text;
}

void set_effect(DWORD* effect, bool accepted) {
  if (effect) *effect = accepted ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

}  // namespace

std::wstring class_name_of(HWND window) {
  wchar_t name[64] = {};
  const int length = GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

DropTarget::DropTarget(HWND window, UINT paths_message, AcceptPaths accept_paths)
    : window_(window), paths_message_(paths_message), accept_paths_(std::move(accept_paths)) {}

HRESULT DropTarget::QueryInterface(REFIID iid, void** out) {
  return query_interface_of(this, iid, out, {IID_IDropTarget});
}
ULONG DropTarget::AddRef() { return add_reference(); }
ULONG DropTarget::Release() { return release_reference(); }

bool DropTarget::accepts(IDataObject* data) const {
  if (!accept_paths_) return false;
  const std::vector<std::string> paths = dropped_paths(data);
  return !paths.empty() && accept_paths_(paths);
}

HRESULT DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  accepted_ = false;
  run_guarded([&] { accepted_ = accepts(data); });
  set_effect(effect, accepted_);
  return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  set_effect(effect, accepted_);
  return S_OK;
}

HRESULT DropTarget::DragLeave() {
  accepted_ = false;
  return S_OK;
}

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  set_effect(effect, accepted_);
  accepted_ = false;
  run_guarded([&] {
    if (!accepts(data)) return;
    auto paths = std::make_unique<std::vector<std::string>>(dropped_paths(data));
    if (paths->empty()) return;
    HWND root = GetAncestor(window_, GA_ROOT);
    if (!root) root = window_;
    if (PostMessageW(root, paths_message_, 0, reinterpret_cast<LPARAM>(paths.get()))) {
      paths.release();  // the window frees it
    }
  });
  return S_OK;
}

DropTarget* register_drop_target(HWND window, UINT paths_message, AcceptPaths accept_paths, std::string& error) {
  if (!window) {
    error = "宿主窗口句柄为空";
    return nullptr;
  }
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  if (SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type != APTTYPE_STA &&
      type != APTTYPE_MAINSTA) {
    error = "当前线程不是 STA 套间（类型 " + std::to_string(static_cast<int>(type)) + "）";
    return nullptr;
  }
  // OLE stays initialised for the rest of the thread's life: clipboard and
  // drag and drop need it as long as the window exists.
  const HRESULT ole = OleInitialize(nullptr);
  if (FAILED(ole)) {
    error = "OleInitialize 失败 " + hresult_text(ole);
    return nullptr;
  }

  auto* target = new DropTarget(window, paths_message, std::move(accept_paths));
  HRESULT result = RegisterDragDrop(window, target);
  if (result == DRAGDROP_E_ALREADYREGISTERED) {
    RevokeDragDrop(window);
    result = RegisterDragDrop(window, target);
  }
  if (SUCCEEDED(result)) return target;

  if (keylog_enabled()) std::fprintf(stderr, "WIN RegisterDragDrop failed %s\n", hresult_text(result).c_str());
  error = "RegisterDragDrop 失败 " + hresult_text(result);
  target->Release();
  return nullptr;
}

std::vector<HWND> web_control_windows(HWND main_window) {
  std::vector<HWND> found;
  if (!main_window || !IsWindow(main_window)) return found;
  EnumChildWindows(
      main_window,
      [](HWND child, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  // Deepest kind first, visible before invisible, otherwise in tree order.
  auto rank = [](HWND window) {
    const std::wstring name = class_name_of(window);
    const int kind = name == L"Chrome_RenderWidgetHostHWND" ? 0
                     : name == L"Chrome_WidgetWin_1"       ? 2
                     : name == L"Chrome_WidgetWin_0"       ? 4
                                                           : 6;
    return kind + (IsWindowVisible(window) ? 0 : 1);
  };
  std::vector<std::pair<int, HWND>> ranked;
  for (HWND window : found) {
    if (const int r = rank(window); r < 6) ranked.emplace_back(r, window);
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  found.clear();
  for (const auto& [r, window] : ranked) found.push_back(window);
  return found;
}

HWND web_control_window(HWND main_window) {
  const std::vector<HWND> windows = web_control_windows(main_window);
  return windows.empty() ? nullptr : windows.front();
}

std::vector<std::string> dropped_paths(IDataObject* data) {
  std::vector<std::string> paths;
  if (!data) return paths;
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&format, &medium))) return paths;
  if (medium.hGlobal) {
    if (auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring name(length + 1, L'\0');
        if (DragQueryFileW(drop, i, name.data(), length + 1) == 0) continue;
        name.resize(std::wstring_view(name.c_str()).size());
        paths.push_back(to_utf8(name));
      }
      GlobalUnlock(medium.hGlobal);
    }
  }
  ReleaseStgMedium(&medium);
  return paths;
}

}  // namespace vesk::win
