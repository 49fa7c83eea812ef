// Not a test: times how long a document takes from the native side to the
// editor page, for each way it can travel (one page call, one web message,
// scripts carrying pieces) and each size, until the page has run its
// setMarkdown: a script sent after the document completes only once every
// script before it has run. The page then hands the text back (not timed)
// to show it arrived whole. tests/e2e/bench-delivery.mjs
// starts the browser and runs it with
//   VESK_CDP_PORT, VESK_LOADER  as for the conformance program
//   VESK_WEB_DIR                the built editor page (web/), a Windows path
//   VESK_BENCH_SIZES            megabytes, "1,10,30" by default
// and prints one JSON line per measurement.
#include <windows.h>

#include <shlwapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/editor_host.h"
#include "core/json.h"
#include "core/paths.h"
#include "webhost/bridge_script.h"
#include "webhost/com_object.h"
#include "webhost/page_assembly.h"
#include "webhost/page_channel.h"
#include "webhost/webview2_api.h"
#include "platform/com.h"
#include "platform/strings.h"

using namespace vesk;
using namespace vesk::win;

namespace {

std::wstring env(const wchar_t* name, const wchar_t* fallback = L"") {
  wchar_t value[2048] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 2048);
  return length && length < 2048 ? std::wstring(value, length) : fallback;
}

template <typename Done>
bool pump_until(Done done, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT) == WAIT_OBJECT_0) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
  }
  return true;
}

std::string read_file(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  read_file_bytes(to_utf8(path), bytes);
  return std::string(bytes.begin(), bytes.end());
}

// Markdown of about `bytes` bytes: headings, CJK paragraphs, quotes and code.
std::string document(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 200);
  for (int i = 0; text.size() < bytes; ++i) {
    if (i % 40 == 0) text += "## 第 " + std::to_string(i / 40) + " 节\n\n";
    text += "这是第 " + std::to_string(i) + " 段，含 \"引号\"、`代码` 和 **粗体**, plain words too.\n\n";
  }
  return text;
}
}  // namespace

int wmain() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HMODULE loader = LoadLibraryW(env(L"VESK_LOADER").c_str());
  if (!loader) return std::fprintf(stderr, "no loader\n"), 1;
  auto create = reinterpret_cast<CreateCoreWebView2EnvironmentWithOptionsFunction>(
      reinterpret_cast<void*>(GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions")));

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"VeskDeliveryBench";
  RegisterClassW(&window_class);
  HWND window = CreateWindowW(L"VeskDeliveryBench", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 1180, 820, nullptr, nullptr,
                              window_class.hInstance, nullptr);

  ComPtr<ICoreWebView2Environment> environment;
  create(nullptr, nullptr, nullptr,
         make_callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
             [&](HRESULT, ICoreWebView2Environment* created) {
               environment = ComPtr<ICoreWebView2Environment>::retain(created);
               return S_OK;
             })
             .get());
  if (!pump_until([&] { return bool(environment); }, std::chrono::seconds(30))) return 1;
  ComPtr<ICoreWebView2Controller> controller;
  environment->CreateCoreWebView2Controller(
      window, make_callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
                  [&](HRESULT, ICoreWebView2Controller* created) {
                    controller = ComPtr<ICoreWebView2Controller>::retain(created);
                    return S_OK;
                  })
                  .get());
  if (!pump_until([&] { return bool(controller); }, std::chrono::seconds(30))) return 1;
  controller->put_Bounds(RECT{0, 0, 1180, 820});
  ComPtr<ICoreWebView2> web_view;
  controller->get_CoreWebView2(web_view.put());

  bool ready = false;
  std::optional<std::string> saved;  // the page's text, from a "save" message
  EventRegistrationToken token{};
  web_view->add_WebMessageReceived(make_callback<ICoreWebView2WebMessageReceivedEventHandler>(
                                       [&](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
                                         CoTaskText json;
                                         args->get_WebMessageAsJson(json.put());
                                         JsonValue message;
                                         if (!parse_json(to_utf8(json.get()), message)) return S_OK;
                                         const std::string type = message.get_string("type", "");
                                         if (type == "ready") ready = true;
                                         if (type == "save") saved = message.get_string("text", "");
                                         // The page's own account of large documents.
                                         if (type == "log") std::fprintf(stderr, "  page: %s\n", message.get_string("message", "").c_str());
                                         return S_OK;
                                       })
                                       .get(),
                                   &token);
  web_view->AddScriptToExecuteOnDocumentCreated(to_utf16(bridge_script()).c_str(), nullptr);

  // The real editor page, assembled as the web host assembles it.
  const std::wstring web = env(L"VESK_WEB_DIR");
  EditorPageSources sources{read_file(web + L"\\editor.html"), read_file(web + L"\\editor.css"),
                            read_file(web + L"\\editor.js"), ""};
  const auto page = assemble_editor_page(sources, true, "");
  if (!page) return std::fprintf(stderr, "no page in %ls\n", web.c_str()), 1;
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring page_path = std::wstring(temp) + L"vesk-delivery-bench.html";
  std::ofstream(std::filesystem::path(page_path), std::ios::binary) << *page;
  wchar_t url[2048] = {};
  DWORD url_length = 2048;
  UrlCreateFromPathW(page_path.c_str(), url, &url_length, 0);
  web_view->Navigate((std::wstring(url) + L"#g1").c_str());
  if (!pump_until([&] { return ready; }, std::chrono::seconds(60))) return std::fprintf(stderr, "page not ready\n"), 1;

  std::vector<int> sizes;
  std::wstringstream list(env(L"VESK_BENCH_SIZES", L"1,10,30"));
  for (std::wstring item; std::getline(list, item, L',');) sizes.push_back(std::stoi(item));

  // Completes once every script submitted before it has run.
  auto settle = [&](std::chrono::seconds limit) {
    bool done = false;
    web_view->ExecuteScript(L"0", make_callback<ICoreWebView2ExecuteScriptCompletedHandler>([&](HRESULT, LPCWSTR) {
                                    done = true;
                                    return S_OK;
                                  }).get());
    return pump_until([&] { return done; }, limit);
  };

  for (int megabytes : sizes) {
    const std::string text = document(static_cast<std::size_t>(megabytes) << 20);
    const MarkdownRoute natural = plan_markdown_delivery(text).route;
    for (const char* route : {"call", "message", "pieces"}) {
      web_view->ExecuteScript(L"window.vesk.setMarkdown('')", nullptr);
      settle(std::chrono::seconds(60));

      const auto start = std::chrono::steady_clock::now();
      const std::string quoted = json_quote(text);  // what every route starts with
      if (std::string(route) == "call") {
        web_view->ExecuteScript(to_utf16("window.vesk && window.vesk.setMarkdown(" + quoted + ");").c_str(), nullptr);
      } else if (std::string(route) == "message") {
        web_view->PostWebMessageAsJson(to_utf16(R"({"__vesk":"setMarkdown","text":)" + quoted + "}").c_str());
      } else {
        for (const std::string& script : chunk_injection_scripts(text)) {
          web_view->ExecuteScript(to_utf16(script).c_str(), nullptr);
        }
      }
      const bool arrived = settle(std::chrono::seconds(180));
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

      saved.reset();
      web_view->ExecuteScript(L"window.vesk.requestSnapshot()", nullptr);
      pump_until([&] { return saved.has_value(); }, std::chrono::seconds(180));
      const char* chosen = natural == MarkdownRoute::PageCall     ? "call"
                           : natural == MarkdownRoute::WebMessage ? "message"
                                                                  : "pieces";
      std::printf("{\"megabytes\":%d,\"bytes\":%zu,\"route\":\"%s\",\"chosen\":%s,\"ms\":%.0f,\"intact\":%s}\n",
                  megabytes, text.size(), route, std::string(route) == chosen ? "true" : "false", arrived ? ms : -1.0,
                  saved && *saved == text ? "true" : "false");
      std::fflush(stdout);
    }
  }
  controller->Close();
  DeleteFileW(page_path.c_str());
  return 0;
}
