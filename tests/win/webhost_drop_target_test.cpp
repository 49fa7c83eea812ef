// The OLE drop target: reference counting, which drags it accepts, what a
// drop posts, the paths it reads, and where it registers.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "webhost/drop_target.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

// A data object carrying files the way the shell does: CF_HDROP in global
// memory, wide names, each NUL-terminated, the list ending in another NUL.
class FileDrag final : public IDataObject {
 public:
  explicit FileDrag(std::vector<std::wstring> names, bool offer = true) : names_(std::move(names)), offer_(offer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!offer_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    std::size_t chars = 1;
    for (const auto& name : names_) chars += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(files) + sizeof(DROPFILES));
    for (const auto& name : names_) {
      name.copy(text, name.size());
      text += name.size() + 1;
    }
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  std::vector<std::wstring> names_;
  bool offer_;
};

// The message the targets post with; the main window chooses its own.
constexpr UINT kDropPathsMessage = WM_APP + 1;

// Paths posted to the window, as the main window would receive them.
std::vector<std::vector<std::string>> g_posted;

LRESULT CALLBACK receiver(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kDropPathsMessage) {
    std::unique_ptr<std::vector<std::string>> paths(reinterpret_cast<std::vector<std::string>*>(lparam));
    g_posted.push_back(paths ? *paths : std::vector<std::string>{});
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

bool wants_markdown(const std::vector<std::string>& paths) {
  for (const auto& path : paths) {
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".md") == 0) return true;
  }
  return false;
}

class DropTargets : public ::testing::Test {
 protected:
  HWND top = nullptr;
  void SetUp() override {
    g_posted.clear();
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = receiver;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"VeskDropTestWindow";
    RegisterClassW(&window_class);
    top = CreateWindowW(L"VeskDropTestWindow", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                        window_class.hInstance, nullptr);
  }
  void TearDown() override { DestroyWindow(top); }

  HWND child(HWND parent, const wchar_t* class_name, bool visible) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name;
    RegisterClassW(&window_class);
    return CreateWindowW(class_name, L"", WS_CHILD | (visible ? WS_VISIBLE : 0), 0, 0, 10, 10, parent, nullptr,
                         window_class.hInstance, nullptr);
  }
};

TEST_F(DropTargets, ReferenceCountsAndInterfaces) {
  auto* target = new DropTarget(top, kDropPathsMessage, wants_markdown);  // the creator's reference
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(target->QueryInterface(IID_IDataObject, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(target->QueryInterface(IID_IDropTarget, nullptr), E_POINTER);
  for (const IID& iid : {IID_IUnknown, IID_IDropTarget}) {
    ASSERT_EQ(target->QueryInterface(iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDropTarget*>(target));
    EXPECT_EQ(target->Release(), 1u);
  }
  EXPECT_EQ(target->AddRef(), 2u);
  EXPECT_EQ(target->Release(), 1u);
  EXPECT_EQ(target->Release(), 0u);
}

TEST_F(DropTargets, AcceptsOnlyWhatTheEditorCanUse) {
  std::string error;
  DropTarget* target = register_drop_target(top, kDropPathsMessage, wants_markdown, error);
  ASSERT_TRUE(target) << error;
  struct Case {
    std::vector<std::wstring> names;
    bool offer;
    DWORD effect;
  };
  const Case cases[] = {
      {{L"C:\\d\\a.md", L"C:\\d\\b.pdf"}, true, DROPEFFECT_COPY},
      {{L"C:\\d\\b.pdf"}, true, DROPEFFECT_NONE},
      {{}, true, DROPEFFECT_NONE},
      {{L"C:\\d\\a.md"}, false, DROPEFFECT_NONE},  // no file list at all
  };
  for (const Case& c : cases) {
    FileDrag drag(c.names, c.offer);
    DWORD effect = 0xFF;
    EXPECT_EQ(target->DragEnter(&drag, MK_LBUTTON, {}, &effect), S_OK);
    EXPECT_EQ(effect, c.effect);
    effect = 0xFF;
    EXPECT_EQ(target->DragOver(MK_CONTROL | MK_SHIFT, {}, &effect), S_OK);
    EXPECT_EQ(effect, c.effect) << "the key state never changes the effect";
    EXPECT_EQ(target->DragOver(0, {}, nullptr), S_OK);
    EXPECT_EQ(target->DragLeave(), S_OK);
    effect = 0xFF;
    target->DragOver(0, {}, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE)) << "nothing is accepted after leaving";
  }
  RevokeDragDrop(top);
  target->Release();
}

TEST_F(DropTargets, DropPostsEveryPathInOrderToTheTopWindow) {
  HWND inner = child(top, L"VeskDropTestChild", true);
  std::string error;
  DropTarget* target = register_drop_target(inner, kDropPathsMessage, wants_markdown, error);
  ASSERT_TRUE(target) << error;

  FileDrag both({L"C:\\文档\\说明.md", L"C:\\d\\other.bin"});
  DWORD effect = 0;
  target->DragEnter(&both, 0, {}, &effect);
  effect = 0;
  EXPECT_EQ(target->Drop(&both, 0, {}, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));

  // The effect comes from the drag; a drop whose data no longer qualifies
  // posts nothing.
  FileDrag none({L"C:\\d\\b.pdf"});
  target->DragEnter(&both, 0, {}, &effect);
  effect = 0;
  target->Drop(&none, 0, {}, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
  target->Drop(&both, 0, {}, nullptr);

  pump();
  const std::vector<std::string> expected = {"C:\\文档\\说明.md", "C:\\d\\other.bin"};
  ASSERT_EQ(g_posted.size(), 2u);
  EXPECT_EQ(g_posted[0], expected);
  EXPECT_EQ(g_posted[1], expected);
  RevokeDragDrop(inner);
  target->Release();
}

TEST_F(DropTargets, RegistrationErrorsAndRepeats) {
  std::string error;
  EXPECT_EQ(register_drop_target(nullptr, kDropPathsMessage, wants_markdown, error), nullptr);
  EXPECT_EQ(error, "宿主窗口句柄为空");

  DropTarget* first = register_drop_target(top, kDropPathsMessage, wants_markdown, error);
  ASSERT_TRUE(first) << error;
  // A window that already has a target gets the new one instead.
  DropTarget* second = register_drop_target(top, kDropPathsMessage, wants_markdown, error);
  ASSERT_TRUE(second) << error;
  RevokeDragDrop(top);
  first->Release();
  second->Release();
}

TEST_F(DropTargets, PathsOfADrag) {
  EXPECT_TRUE(dropped_paths(nullptr).empty());
  FileDrag drag({L"C:\\a.md", L"D:\\图片\\b.png"});
  EXPECT_EQ(dropped_paths(&drag), (std::vector<std::string>{"C:\\a.md", "D:\\图片\\b.png"}));
  FileDrag refused({L"C:\\a.md"}, false);
  EXPECT_TRUE(dropped_paths(&refused).empty());
}

TEST_F(DropTargets, WebControlWindowPrefersAVisibleRenderWidget) {
  ShowWindow(top, SW_SHOWNOACTIVATE);  // children count as visible only inside a visible window
  EXPECT_EQ(web_control_window(nullptr), nullptr);
  EXPECT_EQ(web_control_window(top), nullptr) << "no control yet";

  // The control's own window comes after the browser's windows inside it.
  HWND host = child(top, L"Chrome_WidgetWin_0", true);
  child(top, L"Static", true);
  EXPECT_EQ(web_control_windows(top), std::vector<HWND>{host});
  HWND outer_hidden = child(host, L"Chrome_WidgetWin_1", false);
  EXPECT_EQ(web_control_window(top), outer_hidden);
  HWND outer = child(host, L"Chrome_WidgetWin_1", true);
  EXPECT_EQ(web_control_window(top), outer) << "a visible one replaces an invisible one";

  HWND render_hidden = child(outer, L"Chrome_RenderWidgetHostHWND", false);
  EXPECT_EQ(web_control_window(top), render_hidden) << "any render widget beats the outer window";
  HWND render = child(outer, L"Chrome_RenderWidgetHostHWND", true);
  HWND render_later = child(outer, L"Chrome_RenderWidgetHostHWND", true);
  EXPECT_EQ(web_control_window(top), render) << "the first visible one stays";
  EXPECT_EQ(web_control_windows(top),
            (std::vector<HWND>{render, render_later, render_hidden, outer, outer_hidden, host}));

  DestroyWindow(outer);
  EXPECT_EQ(web_control_window(top), outer_hidden);
  HWND gone = top;
  DestroyWindow(top);
  top = nullptr;
  EXPECT_EQ(web_control_window(gone), nullptr);
}

}  // namespace
}  // namespace vesk::win
