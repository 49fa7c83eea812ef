// WebHostView against a recording WebView2: the start-up road and each of
// its failures, page loads and generations, both channels to the page, the
// picture and PDF calls, the accelerator keys and teardown.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/paths.h"
#include "temp_folder.h"
#include "tests/win/dialog_watcher.h"
#include "webhost/page_channel.h"
#include "webhost/web_host_view.h"
#include "webhost_fake_webview2.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

using vesk::testing::DialogWatcher;
using vesk::testing::fake_webview2;
using vesk::testing::FakeWebView2;

std::wstring exe_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/"));
  return folder;
}

// ctest hands over Unix paths; Wine reaches them through Z:.
std::string from_build_host(std::string path) {
  if (!path.empty() && path[0] == '/') {
    std::replace(path.begin(), path.end(), '/', '\\');
    path = "Z:" + path;
  }
  return path;
}

std::string read_text(const std::string& path) {
  std::vector<unsigned char> bytes;
  read_file_bytes(path, bytes);
  return std::string(bytes.begin(), bytes.end());
}

bool exists(const std::string& path) { return GetFileAttributesW(to_utf16(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

class WebHost : public ::testing::Test {
 public:
  vesk::testing::TempFolder temp{"vesk-webhost-"};
  std::unique_ptr<DialogWatcher> boxes;
  HMODULE loader = nullptr;
  HWND parent = nullptr;
  std::unique_ptr<WebHostView> view;
  int pages_loaded = 0;
  std::vector<std::string> messages;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> keys;
  std::vector<bool> repeats;
  bool consume_keys = true;

  void SetUp() override {
    boxes = std::make_unique<DialogWatcher>(DialogWatcher::press(IDOK));
    DeleteFileW(to_utf16(temp.utf8() + "\\web.log").c_str());
    SetEnvironmentVariableW(L"VESK_LOG", to_utf16(temp.utf8() + "\\web.log").c_str());
    SetEnvironmentVariableW(L"VESK_INLINE_PROTO", nullptr);
    write_web_file("editor.html", "<html><head><style>__VESK_CSS__</style></head><body><script>__VESK_JS__</script></body></html>");
    write_web_file("editor.css", "body{color:#123}");
    write_web_file("editor.js", "window.page=1;");
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"VeskWebHostTestParent";
    RegisterClassW(&window_class);
    RECT frame{0, 0, 640, 480};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    parent = CreateWindowW(L"VeskWebHostTestParent", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, frame.right - frame.left,
                           frame.bottom - frame.top, nullptr, nullptr, window_class.hInstance, nullptr);
    loader = vesk::testing::install_fake_webview2();
    ASSERT_TRUE(loader) << "fake-loader\\WebView2Loader.dll beside the test program";
  }

  void TearDown() override {
    if (view) view->close();
    view.reset();
    fake_webview2().release_handlers();
    EXPECT_EQ(fake_webview2().live_objects, 0) << "WebView2 objects leaked";
    EXPECT_TRUE(fake_webview2().unexpected_slots.empty()) << "a call landed on slot " << fake_webview2().unexpected_slots[0];
    if (loader) FreeLibrary(loader);
    DestroyWindow(parent);
    for (const char* name : {"editor.html", "editor.css", "editor.js"}) {
      DeleteFileW((exe_folder() + L"\\web\\" + to_utf16(name)).c_str());
    }
    RemoveDirectoryW((exe_folder() + L"\\web").c_str());
    SetEnvironmentVariableW(L"VESK_LOG", nullptr);
    boxes.reset();
  }

  static void write_web_file(const char* name, const std::string& bytes) {
    CreateDirectoryW((exe_folder() + L"\\web").c_str(), nullptr);
    std::ofstream out(std::filesystem::path(exe_folder() + L"\\web\\" + to_utf16(name)),
                      std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  FakeWebView2& fake() { return fake_webview2(); }

  void create(bool with_accelerator = true) {
    WebHostView::Accelerator accelerator;
    if (with_accelerator) {
      accelerator = [this](std::uint32_t key, std::uint16_t modifiers, bool repeat) {
        keys.emplace_back(key, modifiers);
        repeats.push_back(repeat);
        return consume_keys;
      };
    }
    view = std::make_unique<WebHostView>(
        parent, [this] { ++pages_loaded; }, [this](std::string_view json) { messages.emplace_back(json); },
        accelerator);
  }

  void bring_up(bool with_accelerator = true) {
    create(with_accelerator);
    fake().complete_environment(S_OK);
    fake().complete_controller(S_OK);
  }

  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    std::string text = read_text(temp.utf8() + "\\web.log");
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }
  bool logged(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  // The texts of every message box shown so far, one entry per box.
  std::vector<std::wstring> box_texts() const {
    std::vector<std::wstring> texts;
    for (const auto& box : boxes->answered()) {
      std::wstring all;
      for (const auto& text : box.texts) all += text + L"\n";
      texts.push_back(all);
    }
    return texts;
  }

  bool called(const std::string& call) const {
    const auto& calls = fake_webview2().calls;
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

  std::string folder(const char* name) const {
    const std::string path = temp.utf8() + "\\" + name;
    CreateDirectoryW(to_utf16(path).c_str(), nullptr);
    return path;
  }

  // This process's page file in Vesk's own folder under the profile.
  static std::string page_file() {
    wchar_t* local = nullptr;
    SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
    const std::wstring root = std::wstring(local) + L"\\Vesk\\Pages\\";
    CoTaskMemFree(local);
    WIN32_FIND_DATAW found = {};
    const std::wstring pattern = root + std::to_wstring(GetCurrentProcessId()) + L"-*";
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return to_utf8(root) + "(none)";
    FindClose(search);
    return to_utf8(root + found.cFileName + L"\\page.html");
  }

  static bool empty_folder(const std::string& dir) {
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW(to_utf16(dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
      empty = empty && (found.cFileName == std::wstring(L".") || found.cFileName == std::wstring(L".."));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return empty;
  }
};

TEST_F(WebHost, StartUpRoadConfiguresTheControl) {
  bring_up();
  const std::vector<std::string> expected_calls = {
      "GetAvailableCoreWebView2BrowserVersionString",
      "CreateCoreWebView2EnvironmentWithOptions no folder " + to_utf8(
          [] {
            wchar_t* local = nullptr;
            SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
            std::wstring path = std::wstring(local) + L"\\Vesk\\WebView2";
            CoTaskMemFree(local);
            return path;
          }()) + " no options",
      "CreateCoreWebView2Controller window",
      "put_IsVisible 1",
      "put_AllowExternalDrop 0",
      "put_Bounds 0 0 640 480",
      "get_CoreWebView2",
      "get_Settings",
      "put_AreBrowserAcceleratorKeysEnabled 0",
      "AddScriptToExecuteOnDocumentCreated",
      "add_WebMessageReceived",
      "add_NavigationCompleted",
      "add_NavigationStarting",
      "add_NewWindowRequested",
      "add_AcceleratorKeyPressed",
  };
  EXPECT_EQ(fake().calls, expected_calls);
  EXPECT_EQ(fake().document_script, read_text(from_build_host(VESK_BRIDGE_SCRIPT)));
  const std::vector<std::string> lines = log();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "WebView2Loader.dll loaded");
  EXPECT_EQ(lines[1], "WebView2 runtime: 123.0.4567.8");
  EXPECT_EQ(lines[2].rfind("data dir: ", 0), 0u);
  EXPECT_EQ(lines[3], "env callback fired");
  EXPECT_EQ(lines[4], "controller callback fired");
  EXPECT_TRUE(box_texts().empty());
}

TEST_F(WebHost, OlderInterfacesAndNoAcceleratorCallbackAreOptional) {
  fake().offer_controller4 = false;
  fake().offer_settings3 = false;
  bring_up(/*with_accelerator=*/false);
  EXPECT_FALSE(called("put_AllowExternalDrop 0"));
  EXPECT_FALSE(called("put_AreBrowserAcceleratorKeysEnabled 0"));
  EXPECT_FALSE(called("add_AcceleratorKeyPressed"));
  EXPECT_TRUE(called("add_NavigationCompleted"));
}

// Each failure on the road: one line, one box, nothing further.
TEST_F(WebHost, EveryFailureOnTheRoadIsReportedOnce) {
  struct Case {
    const char* name;
    std::function<void(WebHost&)> arrange;
    std::function<void(WebHost&)> drive;
    const char* line;  // null: no line of its own
    std::wstring box;
  };
  const Case cases[] = {
      {"loader missing", [](WebHost& t) { FreeLibrary(std::exchange(t.loader, nullptr)); }, nullptr,
       "load WebView2Loader.dll failed", L"缺少 WebView2Loader.dll。\n\n请重新解压完整压缩包，或重新安装 Vesk。"},
      {"old loader",
       [](WebHost& t) {
         FreeLibrary(std::exchange(t.loader, nullptr));
         t.loader = LoadLibraryW((exe_folder() + L"\\old-loader\\WebView2Loader.dll").c_str());
       },
       nullptr, "GetProcAddress failed", L"WebView2Loader.dll 版本不匹配（缺少环境创建接口）。"},
      {"no runtime", [](WebHost& t) { t.fake().version_result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND); }, nullptr,
       "GetAvailableCoreWebView2BrowserVersionString failed",
       L"未检测到 Microsoft Edge WebView2 Runtime。\n\n请安装运行时后重试：https://go.microsoft.com/fwlink/p/?LinkId=2124703"},
      {"no version text", [](WebHost& t) { t.fake().version_text = false; }, nullptr,
       "GetAvailableCoreWebView2BrowserVersionString failed", L"未检测到 Microsoft Edge WebView2 Runtime。"},
      {"environment call", [](WebHost& t) { t.fake().create_environment_result = E_ACCESSDENIED; }, nullptr,
       "CreateCoreWebView2EnvironmentWithOptions failed", L"WebView2 环境创建失败。"},
      {"environment completion", nullptr, [](WebHost& t) { t.fake().complete_environment(E_FAIL); },
       "env creation failed", L"WebView2 环境创建失败。"},
      {"no environment", nullptr, [](WebHost& t) { t.fake().complete_environment(S_OK, false); },
       "env creation failed", L"WebView2 环境创建失败。"},
      {"controller completion", nullptr,
       [](WebHost& t) {
         t.fake().complete_environment(S_OK);
         t.fake().complete_controller(E_FAIL);
       },
       nullptr, L"WebView2 控制器创建失败。"},
      {"no web view",
       [](WebHost& t) { t.fake().get_web_view_result = E_NOINTERFACE; },
       [](WebHost& t) {
         t.fake().complete_environment(S_OK);
         t.fake().complete_controller(S_OK);
       },
       nullptr, L"WebView2 初始化失败。"},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    if (c.arrange) c.arrange(*this);
    create();
    if (c.drive) c.drive(*this);
    view->navigate_editor_page("");  // recorded, never performed
    const auto texts = box_texts();
    ASSERT_EQ(texts.size(), 1u) << c.name;
    EXPECT_NE(texts[0].find(c.box), std::wstring::npos) << c.name << ": " << to_utf8(texts[0]);
    if (c.line) {
      EXPECT_TRUE(logged(c.line)) << c.name;
    }
    EXPECT_TRUE(fake().navigations.empty()) << c.name;
    EXPECT_FALSE(called("add_NavigationCompleted")) << c.name;
  }
}

TEST_F(WebHost, ClosedBeforeTheEnvironmentArrivesOnlyLogs) {
  create();
  view->close();
  fake().complete_environment(S_OK);
  EXPECT_TRUE(logged("env callback fired"));
  EXPECT_FALSE(called("CreateCoreWebView2Controller window"));
}

TEST_F(WebHost, EarlyPageLoadsWaitForTheControlAndTheLastOneWins) {
  create();
  const std::string first = folder("first");
  const std::string second = folder("二");
  view->navigate_editor_page(first);
  view->navigate_editor_page(second);
  EXPECT_TRUE(fake().navigations.empty());
  fake().complete_environment(S_OK);
  fake().complete_controller(S_OK);
  ASSERT_EQ(fake().navigations.size(), 1u);
  EXPECT_NE(fake().navigations[0].find("/Vesk/Pages/"), std::string::npos) << fake().navigations[0];
  EXPECT_EQ(fake().navigations[0].substr(fake().navigations[0].size() - 3), "#g1");
  const std::string page = read_text(page_file());
  EXPECT_NE(page.find("<base href=\"file:///"), std::string::npos);
  EXPECT_EQ(page.find("first"), std::string::npos);
  EXPECT_TRUE(empty_folder(first) && empty_folder(second)) << "nothing is written beside a document";
  EXPECT_TRUE(logged("navigate editor page"));
}

TEST_F(WebHost, PageFilesFollowTheFolderAndGenerationsOnlyGrow) {
  bring_up();
  const std::string a = folder("a&b");
  const std::string b = folder("b");
  view->navigate_editor_page(a);
  const std::string page = read_text(page_file());
  EXPECT_NE(page.find("<base href=\"file:///"), std::string::npos);
  // Escaped for HTML, unless the URL already escaped it (Wine's does).
  EXPECT_TRUE(page.find("a&amp;b/\"></head>") != std::string::npos ||
              page.find("a%26b/\"></head>") != std::string::npos)
      << page;
  EXPECT_EQ(page.find("a&b"), std::string::npos);
  EXPECT_NE(page.find("<style>body{color:#123}</style>"), std::string::npos);
  EXPECT_NE(page.find("<script>window.VESK_INLINE_PROTO=true;window.page=1;</script>"), std::string::npos);

  view->navigate_editor_page(b);
  EXPECT_NE(read_text(page_file()).find("/b/\"></head>"), std::string::npos) << "one page file, rewritten";
  EXPECT_TRUE(empty_folder(a) && empty_folder(b)) << "nothing is written beside a document";

  // A failed assembly still uses up its number.
  write_web_file("editor.css", "");
  view->navigate_editor_page(b);
  ASSERT_EQ(box_texts().size(), 1u);
  EXPECT_NE(box_texts()[0].find(L"无法准备编辑器页面。\n\n请确认发布包内的 web 目录完整。"), std::wstring::npos);
  write_web_file("editor.css", "x{}");
  SetEnvironmentVariableW(L"VESK_INLINE_PROTO", L"off");
  view->navigate_editor_page("");
  SetEnvironmentVariableW(L"VESK_INLINE_PROTO", nullptr);

  ASSERT_EQ(fake().navigations.size(), 3u);
  EXPECT_EQ(fake().navigations[0].substr(fake().navigations[0].size() - 3), "#g1");
  EXPECT_EQ(fake().navigations[1].substr(fake().navigations[1].size() - 3), "#g2");
  EXPECT_EQ(fake().navigations[2].substr(fake().navigations[2].size() - 3), "#g4");

  // No folder: no base element.
  const std::string loose = read_text(page_file());
  EXPECT_EQ(loose.find("<base"), std::string::npos);
  EXPECT_NE(loose.find("window.VESK_INLINE_PROTO=false;"), std::string::npos);

  const std::string file = page_file();
  view->close();
  EXPECT_FALSE(exists(file)) << "close removes the page file";
  EXPECT_FALSE(exists(file.substr(0, file.rfind('\\')))) << "and its folder";
}

TEST_F(WebHost, NavigationOutcomes) {
  bring_up();
  fake().complete_navigation(true);
  EXPECT_EQ(pages_loaded, 1);
  EXPECT_TRUE(logged("page loaded"));

  // Replaced by a newer load: that one reports, this one says nothing.
  fake().complete_navigation(false, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
  EXPECT_TRUE(box_texts().empty());

  fake().complete_navigation(false, COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT);
  ASSERT_EQ(box_texts().size(), 1u);
  EXPECT_NE(box_texts()[0].find(L"编辑器页面加载失败。"), std::wstring::npos);
  EXPECT_EQ(pages_loaded, 1);
}

TEST_F(WebHost, OnlyTheCurrentEditorPageIsHeard) {
  bring_up();
  const std::string dir = folder("m");
  // A -> B -> A before any load completes: the page on screen may still be
  // A's, so the third load needs its query as much as a plain repeat does.
  view->navigate_editor_page(dir);
  view->navigate_editor_page(folder("n"));
  view->navigate_editor_page(dir);  // generation 3
  ASSERT_EQ(fake().navigations.size(), 3u);
  EXPECT_NE(fake().navigations[2].find(".html?g3#g3"), std::string::npos)
      << "a new fragment alone would not load the page again: " << fake().navigations[2];
  const std::wstring page = to_utf16(fake().navigations.back());
  const std::wstring base = page.substr(0, page.find(L'#'));
  fake().send_message(base + L"#g1", LR"({"type":"old"})");
  fake().send_message(base + L"#g3", LR"({"type":"current","text":"中"})");
  fake().send_message(base, LR"({"type":"no fragment"})");
  fake().send_message(L"", LR"({"type":"no source"})");
  fake().send_message(base + L"#g20", LR"({"type":"other"})");
  fake().send_message(L"https://example.com/#g2", LR"({"type":"elsewhere"})");
  const std::vector<std::string> expected = {R"({"type":"current","text":"中"})"};
  EXPECT_EQ(messages, expected);
}

TEST_F(WebHost, TheControlNeverLeavesTheEditorPage) {
  bring_up();
  view->navigate_editor_page(folder("n"));
  const std::wstring page = to_utf16(fake().navigations.back());
  EXPECT_FALSE(fake().start_navigation(page)) << "our own load goes ahead";
  EXPECT_FALSE(fake().start_navigation(page.substr(0, page.find(L'#'))));
  for (const wchar_t* uri : {L"https://example.com/", L"file://host/share/x.html", L"about:blank",
                             L"javascript:alert(1)"}) {
    EXPECT_TRUE(fake().start_navigation(uri)) << to_utf8(uri);
  }
  EXPECT_TRUE(logged("navigation cancelled https://example.com/"));

  // No window opens; a web address takes the road of a Ctrl+click.
  messages.clear();
  EXPECT_TRUE(fake().request_new_window(L"https://example.com/a"));
  EXPECT_TRUE(fake().request_new_window(L"file://host/share/x"));
  const std::vector<std::string> expected = {R"({"type":"openLink","href":"https://example.com/a"})"};
  EXPECT_EQ(messages, expected);
  EXPECT_TRUE(fake().unexpected_slots.empty());
}

TEST_F(WebHost, DocumentsTakeTheRouteTheirSizeCalls) {
  bring_up();
  view->set_markdown("# 小");
  ASSERT_EQ(fake().scripts.size(), 1u);
  EXPECT_EQ(fake().scripts[0], "window.vesk && window.vesk.setMarkdown(\"# 小\");");

  const std::string medium(kPageCallLimit, 'm');
  view->set_markdown(medium);
  ASSERT_EQ(fake().posted.size(), 1u);
  EXPECT_EQ(fake().posted[0], R"({"__vesk":"setMarkdown","text":")" + medium + "\"}");
  EXPECT_EQ(fake().scripts.size(), 1u);

  // A refused web message falls back to pieces, as does a text too large.
  fake().post_message_result = E_FAIL;
  view->set_markdown(medium);
  const std::string large(kWebMessageLimit, 'l');
  view->set_markdown(large);
  const std::vector<std::string>& s = fake().scripts;
  ASSERT_EQ(s.size(), 1u + 3u + 5u);
  EXPECT_EQ(s[1], "window.__veskInject=[];");
  EXPECT_EQ(s[2], "window.__veskInject.push(\"" + medium + "\");");
  EXPECT_EQ(s[3].rfind("(function(){var t=(window.__veskInject||[]).join('');", 0), 0u);
  EXPECT_EQ(s[4], "window.__veskInject=[];");
  EXPECT_EQ(s[5], "window.__veskInject.push(\"" + large.substr(0, kChunkLimit) + "\");");
  EXPECT_EQ(s[6], "window.__veskInject.push(\"" + large.substr(kChunkLimit, kChunkLimit) + "\");");
  EXPECT_EQ(s[7], "window.__veskInject.push(\"" + large.substr(2 * kChunkLimit) + "\");");
  EXPECT_EQ(fake().posted.size(), 2u);
}

TEST_F(WebHost, NothingReachesAPageThatDoesNotExist) {
  create();
  view->run_script("x()");
  view->set_markdown("text");
  bool called_back = false;
  view->evaluate_script_result("1", [&](bool, const std::string&) { called_back = true; });
  bool captured = true;
  view->capture_preview(temp.utf8() + "\\shot.png", [&](bool ok) { captured = ok; });
  bool printed = true;
  view->print_to_pdf(temp.utf8() + "\\a.pdf", 1.0, [&](bool ok) { printed = ok; });
  EXPECT_TRUE(fake().scripts.empty());
  EXPECT_FALSE(called_back) << "dropped, never called";
  EXPECT_FALSE(captured);
  EXPECT_FALSE(printed);
}

TEST_F(WebHost, ScriptResults) {
  bring_up();
  std::vector<std::pair<bool, std::string>> results;
  auto keep = [&](bool ok, const std::string& json) { results.emplace_back(ok, json); };
  view->run_script("");
  view->evaluate_script_result("", keep);
  EXPECT_TRUE(fake().scripts.empty());

  view->evaluate_script_result("'a'", keep);
  view->evaluate_script_result("boom()", keep);
  view->evaluate_script_result("late", keep);
  fake().complete_script(0, S_OK, L"\"a\"");
  fake().complete_script(1, E_FAIL, nullptr);
  view->close();
  fake().complete_script(2, S_OK, L"1");
  const std::vector<std::pair<bool, std::string>> expected = {{true, "\"a\""}, {false, ""}};
  EXPECT_EQ(results, expected) << "nothing after close";
}

TEST_F(WebHost, AScriptTheControlRefusesStillAnswers) {
  bring_up();
  fake().execute_result = E_INVALIDARG;
  int answers = 0;
  bool ok = true;
  view->evaluate_script_result("x", [&](bool result, const std::string&) {
    ++answers;
    ok = result;
  });
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(ok);
}

TEST_F(WebHost, Pictures) {
  bring_up();
  bool missing_folder = true;
  view->capture_preview(temp.utf8() + "\\no such folder\\shot.png", [&](bool ok) { missing_folder = ok; });
  EXPECT_FALSE(missing_folder);
  EXPECT_FALSE(called("CapturePreview 0"));

  std::vector<bool> outcomes;
  const std::string shot = temp.utf8() + "\\shot.png";
  view->capture_preview(shot, [&](bool ok) { outcomes.push_back(ok); });
  ASSERT_TRUE(called("CapturePreview 0")) << "PNG";
  const char png[] = "\x89PNG";
  ULONG written = 0;
  EXPECT_EQ(fake().capture_stream->Write(png, 4, &written), S_OK);
  fake().complete_capture(S_OK);
  view->capture_preview(shot, [&](bool ok) { outcomes.push_back(ok); });
  fake().complete_capture(E_FAIL);
  EXPECT_EQ(outcomes, (std::vector<bool>{true, false}));
  EXPECT_EQ(read_text(shot), "") << "the second capture truncated the file";
}

TEST_F(WebHost, PrintSettings) {
  bring_up();
  std::vector<bool> outcomes;
  auto keep = [&](bool ok) { outcomes.push_back(ok); };
  const std::string pdf = temp.utf8() + "\\out.pdf";
  view->print_to_pdf(pdf, 0.5, keep);
  std::vector<std::string> expected = {
      "PageWidth " + number(8.27),
      "PageHeight " + number(11.69),
      "MarginLeft " + number(0.7083333333333334),
      "MarginRight " + number(0.7083333333333334),
      "MarginTop " + number(0.7875000000000001),
      "MarginBottom " + number(0.7875000000000001),
      "ShouldPrintBackgrounds 1",
      "ShouldPrintHeaderAndFooter 0",
      "ScaleFactor " + number(0.5),
  };
  std::vector<std::string> got = fake().print_settings;
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(called("PrintToPdf " + pdf));
  fake().complete_print(S_OK, TRUE);

  view->print_to_pdf(pdf, 0, keep);  // no scale given: none set
  EXPECT_EQ(std::count_if(fake().print_settings.begin(), fake().print_settings.end(),
                          [](const std::string& s) { return s.rfind("ScaleFactor", 0) == 0; }),
            0);
  fake().complete_print(S_OK, FALSE);
  view->print_to_pdf(pdf, 1, keep);
  fake().complete_print(E_FAIL, TRUE);
  EXPECT_EQ(outcomes, (std::vector<bool>{true, false, false}));
}

TEST_F(WebHost, PrintingWithOlderControls) {
  fake().offer_environment6 = false;
  bring_up();
  bool printed = false;
  view->print_to_pdf(temp.utf8() + "\\a.pdf", 1, [&](bool ok) { printed = ok; });
  EXPECT_EQ(fake().print_settings, std::vector<std::string>{"(defaults)"});
  fake().complete_print(S_OK, TRUE);
  EXPECT_TRUE(printed);

  TearDown();
  SetUp();
  fake().offer_web_view7 = false;
  bring_up();
  bool answered = false;
  view->print_to_pdf(temp.utf8() + "\\a.pdf", 1, [&](bool ok) { answered = !ok; });
  EXPECT_TRUE(answered);
  EXPECT_FALSE(called("PrintToPdf " + temp.utf8() + "\\a.pdf"));
}

TEST_F(WebHost, AcceleratorKeys) {
  bring_up();
  BYTE saved[256];
  GetKeyboardState(saved);
  BYTE state[256];
  std::copy(std::begin(saved), std::end(saved), std::begin(state));
  state[VK_CONTROL] = 0x80;
  state[VK_SHIFT] = 0;
  state[VK_MENU] = 0;
  SetKeyboardState(state);

  fake().press_key(COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN, 'S');
  EXPECT_TRUE(fake().accelerator_handled);
  fake().press_key(COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN, 'S', true);  // held
  fake().press_key(COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP, 'S');
  fake().press_key(COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP, 'S');
  consume_keys = false;
  fake().press_key(COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN, VK_F4);
  EXPECT_FALSE(fake().accelerator_handled);
  SetKeyboardState(saved);

  const std::vector<std::pair<std::uint32_t, std::uint16_t>> expected = {{'S', 0x08}, {'S', 0x08}, {VK_F4, 0x08}};
  EXPECT_EQ(keys, expected) << "key-up kinds never reach the window";
  EXPECT_EQ(repeats, (std::vector<bool>{false, true, false}));
}

TEST_F(WebHost, SizeFocusAndClose) {
  bring_up();
  view->resize(300, 200);
  view->focus();
  EXPECT_TRUE(called("put_Bounds 0 0 300 200"));
  EXPECT_TRUE(called("MoveFocus 0"));
  view->close();
  EXPECT_TRUE(called("remove_AcceleratorKeyPressed 1919"));
  EXPECT_TRUE(called("Close"));
  view->close();  // twice is harmless
  fake().calls.clear();
  view->resize(1, 1);
  view->run_script("x");
  EXPECT_TRUE(fake().calls.empty());
  EXPECT_TRUE(fake().scripts.empty());
}

}  // namespace
}  // namespace vesk::win
