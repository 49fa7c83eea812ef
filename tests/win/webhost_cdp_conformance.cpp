// What the web host relies on from a WebView2 control, checked against the
// Chromium-backed one (tools/cdp-webview). Not a ctest program: it needs a
// browser, so tests/e2e starts one and runs this with
//   VESK_CDP_PORT   the browser's DevTools port
//   VESK_LOADER     the WebView2Loader.dll to test (a Windows path)
//   VESK_CONFORMANCE_OUT  a folder for the PDFs and PNG it writes, which the
//                   e2e test then measures
#include <windows.h>

#include <ole2.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "webhost/com_object.h"
#include "webhost/webview2_api.h"
#include "platform/com.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

std::wstring environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length < 1024 ? std::wstring(value, length) : std::wstring();
}

template <typename Done>
bool pump_until(Done done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  }
  return true;
}

std::wstring url_of(const std::wstring& path) {
  wchar_t url[2048] = {};
  DWORD length = 2048;
  UrlCreateFromPathW(path.c_str(), url, &length, 0);
  return url;
}

void write_file(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

// One control for the whole program, as Vesk has one.
struct Control {
  HMODULE loader = nullptr;
  HWND window = nullptr;
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2> web_view;
  bool environment_inside_call = false;
  bool controller_inside_call = false;
  std::vector<std::pair<std::wstring, std::wstring>> messages;  // source, JSON
  std::vector<std::pair<BOOL, COREWEBVIEW2_WEB_ERROR_STATUS>> navigations;
  std::wstring folder;
};
Control* g = nullptr;

class CdpControl : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    g = new Control();
    g->folder = environment(L"VESK_CONFORMANCE_OUT");
    g->loader = LoadLibraryW(environment(L"VESK_LOADER").c_str());
    ASSERT_TRUE(g->loader);
    auto create = reinterpret_cast<CreateCoreWebView2EnvironmentWithOptionsFunction>(
        reinterpret_cast<void*>(GetProcAddress(g->loader, "CreateCoreWebView2EnvironmentWithOptions")));
    ASSERT_TRUE(create);

    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"VeskConformanceWindow";
    RegisterClassW(&window_class);
    g->window = CreateWindowW(L"VeskConformanceWindow", L"conformance", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                              nullptr, nullptr, window_class.hInstance, nullptr);

    bool inside = true;
    HRESULT created = create(nullptr, nullptr, nullptr,
                             make_callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
                                 [&inside](HRESULT result, ICoreWebView2Environment* environment) {
                                   g->environment_inside_call = inside;
                                   if (SUCCEEDED(result)) g->environment = ComPtr<ICoreWebView2Environment>::retain(environment);
                                   return S_OK;
                                 })
                                 .get());
    inside = false;
    ASSERT_EQ(created, S_OK);
    ASSERT_TRUE(pump_until([] { return g->environment; }));

    inside = true;
    g->environment->CreateCoreWebView2Controller(
        g->window, make_callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
                       [&inside](HRESULT result, ICoreWebView2Controller* controller) {
                         g->controller_inside_call = inside;
                         if (SUCCEEDED(result)) g->controller = ComPtr<ICoreWebView2Controller>::retain(controller);
                         return S_OK;
                       })
                       .get());
    inside = false;
    ASSERT_TRUE(pump_until([] { return g->controller; }));
    g->controller->put_Bounds(RECT{0, 0, 640, 480});
    ASSERT_EQ(g->controller->get_CoreWebView2(g->web_view.put()), S_OK);

    EventRegistrationToken token{};
    g->web_view->add_WebMessageReceived(make_callback<ICoreWebView2WebMessageReceivedEventHandler>(
                                            [](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
                                              CoTaskText source, json;
                                              args->get_Source(source.put());
                                              args->get_WebMessageAsJson(json.put());
                                              g->messages.emplace_back(source.get(), json.get());
                                              return S_OK;
                                            })
                                            .get(),
                                        &token);
    g->web_view->add_NavigationCompleted(make_callback<ICoreWebView2NavigationCompletedEventHandler>(
                                             [](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs* args) {
                                               BOOL success = FALSE;
                                               COREWEBVIEW2_WEB_ERROR_STATUS status{};
                                               args->get_IsSuccess(&success);
                                               args->get_WebErrorStatus(&status);
                                               g->navigations.emplace_back(success, status);
                                               return S_OK;
                                             })
                                             .get(),
                                         &token);
    // Runs in every document before the page's own scripts.
    g->web_view->AddScriptToExecuteOnDocumentCreated(
        L"window.__early = document.scripts.length === 0 ? 'first' : 'late';"
        L"window.chrome.webview.addEventListener('message', function (e) {"
        L"  window.chrome.webview.postMessage({echo: e.data}); });",
        nullptr);
  }

  static void TearDownTestSuite() {
    if (g->controller) g->controller->Close();
    delete g;
    g = nullptr;
  }

  // Loads a page from a folder whose name needs escaping and waits for it.
  // Each test loads a file of its own: the same URL again would only scroll.
  static std::wstring load(const std::wstring& name, const std::string& body, const wchar_t* fragment = L"#g7") {
    const std::wstring dir = g->folder + L"\\页 a b";
    CreateDirectoryW(dir.c_str(), nullptr);
    write_file(dir + L"\\" + name, "<!doctype html><html><head><meta charset=utf-8></head><body>" + body +
                                       "</body></html>");
    const std::wstring url = url_of(dir + L"\\" + name) + fragment;
    const std::size_t before = g->navigations.size();
    EXPECT_EQ(g->web_view->Navigate(url.c_str()), S_OK);
    EXPECT_TRUE(pump_until([&] { return g->navigations.size() > before; }));
    return url;
  }

  static std::string run(const std::wstring& script) {
    std::optional<std::pair<HRESULT, std::string>> result;
    bool inside = true;
    g->web_view->ExecuteScript(script.c_str(), make_callback<ICoreWebView2ExecuteScriptCompletedHandler>(
                                                   [&](HRESULT hr, LPCWSTR json) {
                                                     EXPECT_FALSE(inside) << "completion inside the call";
                                                     result.emplace(hr, json ? to_utf8(json) : "(null)");
                                                     return S_OK;
                                                   })
                                                   .get());
    inside = false;
    EXPECT_TRUE(pump_until([&] { return result.has_value(); }));
    return result ? result->second : "(timeout)";
  }
};

TEST_F(CdpControl, CompletionsArriveLaterOnThisThread) {
  EXPECT_FALSE(g->environment_inside_call);
  EXPECT_FALSE(g->controller_inside_call);
}

TEST_F(CdpControl, DocumentScriptsRunFirstAndMessagesCarryTheirSource) {
  g->messages.clear();
  const std::wstring url = load(L"source.html", "<script>window.chrome.webview.postMessage({early: window.__early, n: [1, 2]});</script>");
  ASSERT_EQ(g->navigations.back().first, TRUE);
  ASSERT_TRUE(pump_until([] { return !g->messages.empty(); }));
  EXPECT_EQ(g->messages[0].second, LR"({"early":"first","n":[1,2]})");
  EXPECT_EQ(g->messages[0].first, url) << "the source is the URL navigated to, fragment and all";
}

TEST_F(CdpControl, ScriptResultsAreJson) {
  load(L"results.html", "<p>results</p>");
  struct Case {
    const wchar_t* script;
    const char* json;
  };
  const Case cases[] = {
      {L"1 + 1", "2"},
      {L"'a\"b'", R"("a\"b")"},
      {L"({x: [1, 'b'], y: null})", R"({"x":[1,"b"],"y":null})"},
      {L"undefined", "null"},
      {L"(function () {})", "null"},
      {L"throw new Error('no')", "null"},
      {L"var kept = 5; kept", "5"},
      {L"'中文'", "\"中文\""},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.script), c.json) << to_utf8(c.script);
}

TEST_F(CdpControl, ScriptsRunInSubmissionOrder) {
  load(L"order.html", "<p>order</p>");
  const std::wstring padding = L"/*" + std::wstring(300000, L'x') + L"*/";
  for (int i = 0; i < 60; ++i) {
    std::wstring script = L"(window.__order = window.__order || []).push(" + std::to_wstring(i) + L");";
    if (i % 7 == 3) script += padding;  // large ones must not overtake small ones
    ASSERT_EQ(g->web_view->ExecuteScript(script.c_str(), nullptr), S_OK);
  }
  std::string expected;
  for (int i = 0; i < 60; ++i) expected += (i ? "," : "") + std::to_string(i);
  EXPECT_EQ(run(L"window.__order.join(',')"), "\"" + expected + "\"");
}

TEST_F(CdpControl, MessagesToThePageArriveParsed) {
  load(L"messages.html", "<p>messages</p>");
  g->messages.clear();
  EXPECT_EQ(g->web_view->PostWebMessageAsJson(LR"({"__proto__":1,"n":[1.5,true],"s":"中\n"})"), S_OK);
  EXPECT_EQ(g->web_view->PostWebMessageAsJson(L"{not json"), E_INVALIDARG);
  ASSERT_TRUE(pump_until([] { return !g->messages.empty(); }));
  EXPECT_EQ(g->messages[0].second, LR"({"echo":{"__proto__":1,"n":[1.5,true],"s":"中\n"}})");
}

TEST_F(CdpControl, ANewerLoadReplacesOneUnderWay) {
  const std::wstring dir = g->folder + L"\\页 a b";
  CreateDirectoryW(dir.c_str(), nullptr);
  write_file(dir + L"\\one.html", "<p>one</p>");
  write_file(dir + L"\\two.html", "<p>two</p>");
  g->navigations.clear();
  g->web_view->Navigate((url_of(dir + L"\\one.html") + L"#g1").c_str());
  g->web_view->Navigate((url_of(dir + L"\\two.html") + L"#g2").c_str());
  ASSERT_TRUE(pump_until([] { return g->navigations.size() >= 2; }));
  EXPECT_EQ(g->navigations[0], std::make_pair(FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED));
  EXPECT_EQ(g->navigations[1].first, TRUE);
  EXPECT_EQ(run(L"document.body.textContent"), "\"two\"");
}

TEST_F(CdpControl, CapturePreviewWritesPng) {
  load(L"shot.html", "<div style='height:100vh;background:#e01010'></div>");
  const std::wstring path = g->folder + L"\\shot.png";
  ComPtr<IStream> stream;
  ASSERT_EQ(SHCreateStreamOnFileEx(path.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_WRITE,
                                   FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, stream.put()),
            S_OK);
  std::optional<HRESULT> done;
  g->web_view->CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG, stream.get(),
                              make_callback<ICoreWebView2CapturePreviewCompletedHandler>([&](HRESULT hr) {
                                done = hr;
                                return S_OK;
                              }).get());
  stream.reset();
  ASSERT_TRUE(pump_until([&] { return done.has_value(); }));
  EXPECT_EQ(*done, S_OK);
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::string head(24, '\0');
  in.read(head.data(), 24);
  EXPECT_EQ(head.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](int at) {
    return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
  };
  EXPECT_EQ(be32(16), 640) << "the controller's bounds";
  EXPECT_EQ(be32(20), 480);
}

// Three PDFs for the e2e test to measure: A4 with our margins at two scales
// with backgrounds, and the control's defaults.
TEST_F(CdpControl, PrintToPdfWritesWhatTheSettingsSay) {
  load(L"print.html", "<style>body{margin:0;background:#2040e0}</style>"
       "<div style='width:600px;height:60px;background:#000'></div><p style='color:#fff'>print</p>");
  ComPtr<ICoreWebView2_7> printer;
  ASSERT_EQ(g->web_view->QueryInterface(__uuidof(ICoreWebView2_7), printer.put_void()), S_OK);
  ComPtr<ICoreWebView2Environment6> environment6;
  ASSERT_EQ(g->environment->QueryInterface(__uuidof(ICoreWebView2Environment6), environment6.put_void()), S_OK);

  auto print = [&](const wchar_t* name, double scale, bool defaults) {
    ComPtr<ICoreWebView2PrintSettings> settings;
    if (!defaults) {
      EXPECT_EQ(environment6->CreatePrintSettings(settings.put()), S_OK);
      settings->put_PageWidth(8.27);
      settings->put_PageHeight(11.69);
      settings->put_MarginLeft(0.7083333333333334);
      settings->put_MarginRight(0.7083333333333334);
      settings->put_MarginTop(0.7875000000000001);
      settings->put_MarginBottom(0.7875000000000001);
      settings->put_ShouldPrintBackgrounds(TRUE);
      settings->put_ShouldPrintHeaderAndFooter(FALSE);
      EXPECT_EQ(settings->put_ScaleFactor(scale), S_OK);
      EXPECT_EQ(settings->put_ScaleFactor(5.0), E_INVALIDARG) << "outside 0.1 to 2";
    }
    std::optional<std::pair<HRESULT, BOOL>> done;
    const std::wstring path = g->folder + L"\\" + name;
    EXPECT_EQ(printer->PrintToPdf(path.c_str(), settings.get(),
                                  make_callback<ICoreWebView2PrintToPdfCompletedHandler>([&](HRESULT hr, BOOL ok) {
                                    done.emplace(hr, ok);
                                    return S_OK;
                                  }).get()),
              S_OK);
    EXPECT_TRUE(pump_until([&] { return done.has_value(); }, std::chrono::seconds(60)));
    EXPECT_EQ(done, std::make_optional(std::make_pair(S_OK, TRUE))) << to_utf8(name);
  };
  print(L"a4-half.pdf", 0.5, false);
  print(L"a4-full.pdf", 1.0, false);
  print(L"defaults.pdf", 1.0, true);
}

// Takes no drops; only its registration matters here.
class IdleDropTarget final : public IDropTarget, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(IDropTarget)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }
};

// The control's window is in our process and has its own drop target; the
// browser's windows inside it belong to another process, which OLE refuses.
TEST_F(CdpControl, WindowTreeCrossesProcesses) {
  HWND host = FindWindowExW(g->window, nullptr, L"Chrome_WidgetWin_0", nullptr);
  ASSERT_TRUE(host);
  HWND browser = nullptr;
  HWND render = nullptr;
  ASSERT_TRUE(pump_until([&] {
    browser = FindWindowExW(host, nullptr, L"Chrome_WidgetWin_1", nullptr);
    render = browser ? FindWindowExW(browser, nullptr, L"Chrome_RenderWidgetHostHWND", nullptr) : nullptr;
    return render != nullptr;
  }));
  DWORD host_process = 0;
  DWORD render_process = 0;
  GetWindowThreadProcessId(host, &host_process);
  GetWindowThreadProcessId(render, &render_process);
  EXPECT_EQ(host_process, GetCurrentProcessId());
  EXPECT_NE(render_process, GetCurrentProcessId());

  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  ComPtr<IDropTarget> target(new IdleDropTarget());
  EXPECT_EQ(RegisterDragDrop(render, target.get()), DRAGDROP_E_INVALIDHWND);
  EXPECT_EQ(RegisterDragDrop(browser, target.get()), DRAGDROP_E_INVALIDHWND);
  EXPECT_EQ(RegisterDragDrop(host, target.get()), DRAGDROP_E_ALREADYREGISTERED);
  EXPECT_EQ(RevokeDragDrop(host), S_OK);
  EXPECT_EQ(RegisterDragDrop(host, target.get()), S_OK);
  EXPECT_EQ(RevokeDragDrop(host), S_OK);
}

// The host hears an accelerator key before the page does; one it handles
// never reaches the page, one it leaves goes on, and a key that types a
// character is never asked about.
TEST_F(CdpControl, AcceleratorKeysReachThePageUnlessHandled) {
  struct Raised {
    COREWEBVIEW2_KEY_EVENT_KIND kind;
    UINT key;
    BOOL was_down;
    std::string page_saw;  // what the page had seen when the host was asked
  };
  std::vector<Raised> raised;
  EventRegistrationToken token{};
  g->controller->add_AcceleratorKeyPressed(
      make_callback<ICoreWebView2AcceleratorKeyPressedEventHandler>(
          [&raised](ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
            Raised key{};
            COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
            args->get_KeyEventKind(&key.kind);
            args->get_VirtualKey(&key.key);
            args->get_PhysicalKeyStatus(&status);
            key.was_down = status.WasKeyDown;
            // A script run from inside the handler, while the key waits.
            key.page_saw = run(L"seen.join(' ')");
            raised.push_back(key);
            if (key.key == 'K' && key.kind == COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN) args->put_Handled(TRUE);
            return S_OK;
          })
          .get(),
      &token);
  load(L"keys.html",
       "<script>window.seen = [];"
       "['keydown', 'keyup'].forEach(function (type) { document.addEventListener(type, function (e) {"
       "  seen.push(type + ':' + e.keyCode); }); });</script>");
  run(L"[['keydown', {keyCode: 75, ctrlKey: true}], ['keydown', {keyCode: 74, ctrlKey: true}],"
      L" ['keydown', {keyCode: 65}], ['keydown', {keyCode: 27}], ['keydown', {keyCode: 75, ctrlKey: true, repeat: true}],"
      L" ['keyup', {keyCode: 75, ctrlKey: true}]].forEach(function (k) {"
      L"  document.body.dispatchEvent(new KeyboardEvent(k[0], Object.assign({bubbles: true, cancelable: true}, k[1])));"
      L"})");
  EXPECT_EQ(run(L"seen.join(' ')"), "\"keydown:74 keydown:65 keydown:27 keyup:75\"");
  ASSERT_EQ(raised.size(), 5u);
  const COREWEBVIEW2_KEY_EVENT_KIND down = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  EXPECT_EQ(raised[0].key, UINT('K'));
  EXPECT_EQ(raised[0].page_saw, "\"\"");
  EXPECT_EQ(raised[1].key, UINT('J'));
  EXPECT_EQ(raised[1].page_saw, "\"\"");
  EXPECT_EQ(raised[2].key, UINT(VK_ESCAPE));
  EXPECT_EQ(raised[2].page_saw, "\"keydown:74 keydown:65\"");
  EXPECT_EQ(raised[3].key, UINT('K'));
  EXPECT_EQ(raised[3].was_down, TRUE) << "an auto-repeat";
  EXPECT_EQ(raised[4].kind, COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(raised[i].kind, down);
    EXPECT_EQ(raised[i].was_down, FALSE);
  }
  g->controller->remove_AcceleratorKeyPressed(token);
}

TEST_F(CdpControl, NothingAfterClose) {
  ComPtr<ICoreWebView2Controller> controller = g->controller;
  HWND host = FindWindowExW(g->window, nullptr, L"Chrome_WidgetWin_0", nullptr);
  controller->Close();
  EXPECT_FALSE(IsWindow(host)) << "the control's window goes with it";
  EXPECT_NE(g->web_view->Navigate(L"about:blank"), S_OK);
  EXPECT_NE(g->web_view->ExecuteScript(L"1", nullptr), S_OK);
  const std::size_t navigations = g->navigations.size();
  pump_until([] { return false; }, std::chrono::milliseconds(500));
  EXPECT_EQ(g->navigations.size(), navigations);
}

}  // namespace
}  // namespace vesk::win
