// WebHostView on WebView2: the start-up road from the loader library to a web
// view, the editor page loads, both channels to the page, pictures and PDFs
// of the page, and teardown. Everything runs on the UI thread; completions
// and events arrive through its message loop.
#include "webhost/web_host_view.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <memory>
#include <utility>

#include "core/a4_page.h"
#include "core/paths.h"
#include "webhost/bridge_script.h"
#include "webhost/com_object.h"
#include "webhost/drop_target.h"
#include "webhost/page_assembly.h"
#include "webhost/page_channel.h"
#include "webhost/webview2_api.h"
#include "platform/com.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

constexpr wchar_t kRuntimeDownload[] = L"https://go.microsoft.com/fwlink/p/?LinkId=2124703";

// The web host's own lines carry no prefix; they share the sinks of the
// "NATIVE " lines.
void web_log(std::string_view line) { write_diagnostic_line(line); }

void show_error(HWND owner, const wchar_t* text) {
  MessageBoxW(owner, text, L"Vesk", MB_ICONERROR);
}

std::string read_whole_file(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  if (!read_file_bytes(to_utf8(path), bytes)) return {};
  return std::string(bytes.begin(), bytes.end());
}

bool write_whole_file(const std::wstring& path, const std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Empty when the path has no URL form.
std::wstring file_url(const std::wstring& path) {
  wchar_t url[2048] = {};
  DWORD length = 2048;
  if (FAILED(UrlCreateFromPathW(path.c_str(), url, &length, 0))) return {};
  return url;
}

std::wstring temp_folder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return std::wstring(path, length <= MAX_PATH ? length : 0);
}

std::wstring user_data_folder() {
  CoTaskText local;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, local.put())) &&
      local.get() && *local.get()) {
    return std::wstring(local.get()) + L"\\Vesk\\WebView2";
  }
  return temp_folder() + L"VeskWebView2";
}

std::uint16_t modifier_mask() {
  std::uint16_t mask = 0;
  if (GetKeyState(VK_CONTROL) < 0) mask |= 0x08;
  if (GetKeyState(VK_SHIFT) < 0) mask |= 0x04;
  if (GetKeyState(VK_MENU) < 0) mask |= 0x10;
  return mask;
}

// A completion callback that may be reached from two places (a call that
// fails at once, or its handler later) but must run at most once.
template <typename Function>
class Once {
 public:
  explicit Once(Function function) : function_(std::make_shared<Function>(std::move(function))) {}
  template <typename... Args>
  void operator()(Args&&... args) const {
    if (!*function_) return;
    Function function = std::exchange(*function_, nullptr);
    function(std::forward<Args>(args)...);
  }

 private:
  std::shared_ptr<Function> function_;
};

// Subscribes to one of the control's events. The handler runs only while
// the host is alive, so an event that arrives after close() is dropped.
template <typename Handler, typename Source, typename OnEvent>
void subscribe(Source* source, HRESULT (STDMETHODCALLTYPE Source::*add)(Handler*, EventRegistrationToken*),
               const std::shared_ptr<bool>& alive, EventRegistrationToken* token, OnEvent on_event) {
  (source->*add)(make_callback<Handler>([alive, on_event](auto*, auto* args) {
                   if (*alive) on_event(args);
                   return S_OK;
                 }).get(),
                 token);
}

}  // namespace

struct WebHostView::State {
  HWND parent = nullptr;
  HMODULE loader = nullptr;
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2> web_view;
  EventRegistrationToken navigation_token{};
  EventRegistrationToken message_token{};
  EventRegistrationToken accelerator_token{};
  EventRegistrationToken starting_token{};
  EventRegistrationToken new_window_token{};
  PageLoaded on_page_loaded;
  PageMessage on_page_message;
  Accelerator on_accelerator;
  std::wstring preview_path;
  // The editor page last asked for, without its fragment: only it may load
  // and only its messages are heard.
  std::string shown_page;
  std::string page_theme = "light";  // handed to each page in its assembly
  std::int32_t page_generation = 0;
  bool pending_navigation = false;
  std::string pending_base_dir;
  // Completions hold this, not the view: after close (or the view's end)
  // they find it false and leave.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  void initialize();
  void on_environment_created(HRESULT result, ICoreWebView2Environment* created);
  void on_controller_created(HRESULT result, ICoreWebView2Controller* created);
  void load_page(const std::string& folder);
  bool prepare_editor_page(const std::string& folder, std::wstring& url);
  void on_navigation_completed(ICoreWebView2NavigationCompletedEventArgs* args);
  void on_web_message(ICoreWebView2WebMessageReceivedEventArgs* args);
  void on_navigation_starting(ICoreWebView2NavigationStartingEventArgs* args);
  void on_new_window_requested(ICoreWebView2NewWindowRequestedEventArgs* args);
  void on_accelerator_key(ICoreWebView2AcceleratorKeyPressedEventArgs* args);
  void execute(const std::string& script);
};

WebHostView::WebHostView(HWND parent, PageLoaded on_page_loaded, PageMessage on_page_message,
                         Accelerator on_accelerator)
    : state_(std::make_unique<State>()) {
  state_->parent = parent;
  state_->on_page_loaded = std::move(on_page_loaded);
  state_->on_page_message = std::move(on_page_message);
  state_->on_accelerator = std::move(on_accelerator);
  state_->initialize();
}

// A view dropped without close() must still stop its completions from
// reaching the freed state.
WebHostView::~WebHostView() { close(); }

void WebHostView::State::initialize() {
  loader = LoadLibraryW(L"WebView2Loader.dll");
  if (!loader) {
    web_log("load WebView2Loader.dll failed");
    show_error(parent, L"缺少 WebView2Loader.dll。\n\n请重新解压完整压缩包，或重新安装 Vesk。");
    return;
  }
  web_log("WebView2Loader.dll loaded");

  const auto get_version = reinterpret_cast<GetAvailableCoreWebView2BrowserVersionStringFunction>(
      reinterpret_cast<void*>(GetProcAddress(loader, "GetAvailableCoreWebView2BrowserVersionString")));
  const auto create_environment = reinterpret_cast<CreateCoreWebView2EnvironmentWithOptionsFunction>(
      reinterpret_cast<void*>(GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions")));
  if (!get_version || !create_environment) {
    web_log("GetProcAddress failed");
    show_error(parent, L"WebView2Loader.dll 版本不匹配（缺少环境创建接口）。");
    return;
  }

  CoTaskText version;
  if (FAILED(get_version(nullptr, version.put())) || !version.get()) {
    web_log("GetAvailableCoreWebView2BrowserVersionString failed");
    const std::wstring text =
        std::wstring(L"未检测到 Microsoft Edge WebView2 Runtime。\n\n请安装运行时后重试：") +
        kRuntimeDownload;
    show_error(parent, text.c_str());
    return;
  }
  web_log("WebView2 runtime: " + to_utf8(version.get()));

  const std::wstring data_folder = user_data_folder();
  web_log("data dir: " + to_utf8(data_folder));

  std::shared_ptr<bool> flag = alive;
  auto handler = make_callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      [this, flag](HRESULT result, ICoreWebView2Environment* created) {
        web_log("env callback fired");
        if (*flag) on_environment_created(result, created);
        return S_OK;
      });
  if (FAILED(create_environment(nullptr, data_folder.c_str(), nullptr, handler.get()))) {
    web_log("CreateCoreWebView2EnvironmentWithOptions failed");
    show_error(parent, L"WebView2 环境创建失败。");
  }
}

void WebHostView::State::on_environment_created(HRESULT result, ICoreWebView2Environment* created) {
  if (FAILED(result) || !created) {
    web_log("env creation failed");
    show_error(parent, L"WebView2 环境创建失败。");
    return;
  }
  environment = ComPtr<ICoreWebView2Environment>::retain(created);
  std::shared_ptr<bool> flag = alive;
  environment->CreateCoreWebView2Controller(
      parent, make_callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
                  [this, flag](HRESULT result, ICoreWebView2Controller* controller) {
                    web_log("controller callback fired");
                    if (*flag) on_controller_created(result, controller);
                    return S_OK;
                  })
                  .get());
}

void WebHostView::State::on_controller_created(HRESULT result, ICoreWebView2Controller* created) {
  if (FAILED(result) || !created) {
    show_error(parent, L"WebView2 控制器创建失败。");
    return;
  }
  controller = ComPtr<ICoreWebView2Controller>::retain(created);
  controller->put_IsVisible(TRUE);

  // File drops belong to our own drop target, not to the page.
  ComPtr<ICoreWebView2Controller4> controller4;
  if (SUCCEEDED(controller->QueryInterface(__uuidof(ICoreWebView2Controller4), controller4.put_void()))) {
    controller4->put_AllowExternalDrop(FALSE);
  }

  RECT bounds{};
  GetClientRect(parent, &bounds);
  controller->put_Bounds(bounds);

  if (FAILED(controller->get_CoreWebView2(web_view.put())) || !web_view) {
    web_view.reset();
    show_error(parent, L"WebView2 初始化失败。");
    return;
  }

  // Reload, find, print and the like would take keys our own shortcuts need.
  ComPtr<ICoreWebView2Settings> settings;
  if (SUCCEEDED(web_view->get_Settings(settings.put())) && settings) {
    ComPtr<ICoreWebView2Settings3> settings3;
    if (SUCCEEDED(settings->QueryInterface(__uuidof(ICoreWebView2Settings3), settings3.put_void()))) {
      settings3->put_AreBrowserAcceleratorKeysEnabled(FALSE);
    }
  }

  web_view->AddScriptToExecuteOnDocumentCreated(to_utf16(bridge_script()).c_str(), nullptr);

  ICoreWebView2* view = web_view.get();
  subscribe(view, &ICoreWebView2::add_WebMessageReceived, alive, &message_token,
            [this](ICoreWebView2WebMessageReceivedEventArgs* args) { on_web_message(args); });
  subscribe(view, &ICoreWebView2::add_NavigationCompleted, alive, &navigation_token,
            [this](ICoreWebView2NavigationCompletedEventArgs* args) { on_navigation_completed(args); });
  // The editor never leaves its page and never opens a window: a document's
  // link, script or drop must not put another page where ours talks to the
  // native side.
  subscribe(view, &ICoreWebView2::add_NavigationStarting, alive, &starting_token,
            [this](ICoreWebView2NavigationStartingEventArgs* args) { on_navigation_starting(args); });
  subscribe(view, &ICoreWebView2::add_NewWindowRequested, alive, &new_window_token,
            [this](ICoreWebView2NewWindowRequestedEventArgs* args) { on_new_window_requested(args); });
  if (on_accelerator) {
    subscribe(controller.get(), &ICoreWebView2Controller::add_AcceleratorKeyPressed, alive, &accelerator_token,
              [this](ICoreWebView2AcceleratorKeyPressedEventArgs* args) { on_accelerator_key(args); });
  }

  if (pending_navigation) {
    pending_navigation = false;
    load_page(pending_base_dir);
  }
}

void WebHostView::close() {
  State& s = *state_;
  *s.alive = false;
  if (s.controller) {
    if (s.accelerator_token.value != 0) s.controller->remove_AcceleratorKeyPressed(s.accelerator_token);
    s.accelerator_token = {};
    s.controller->Close();
    s.controller.reset();
  }
  s.web_view.reset();
  s.environment.reset();
  if (s.loader) FreeLibrary(s.loader);
  s.loader = nullptr;
  if (!s.preview_path.empty()) DeleteFileW(s.preview_path.c_str());
  s.preview_path.clear();
}

void WebHostView::resize(int width, int height) {
  if (state_->controller) state_->controller->put_Bounds(RECT{0, 0, width, height});
}

void WebHostView::focus() {
  if (state_->controller) state_->controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

// --- the editor page --------------------------------------------------------

void WebHostView::set_page_theme(const std::string& theme) {
  state_->page_theme = theme;
}

void WebHostView::navigate_editor_page(const std::string& folder) {
  State& s = *state_;
  if (!s.web_view) {
    // Performed once the web view exists; a later request replaces this one.
    s.pending_navigation = true;
    s.pending_base_dir = folder;
    return;
  }
  s.load_page(folder);
}

void WebHostView::State::load_page(const std::string& folder) {
  ++page_generation;
  std::wstring url;
  if (!prepare_editor_page(folder, url)) {
    show_error(parent, L"无法准备编辑器页面。\n\n请确认发布包内的 web 目录完整。");
    return;
  }
  web_log("navigate editor page");
  web_view->Navigate(url.c_str());
}

bool WebHostView::State::prepare_editor_page(const std::string& folder, std::wstring& url) {
  const std::wstring exe_folder = executable_folder();
  EditorPageSources sources;
  sources.html = read_whole_file(exe_folder + L"\\web\\editor.html");
  sources.css = read_whole_file(exe_folder + L"\\web\\editor.css");
  sources.js = read_whole_file(exe_folder + L"\\web\\editor.js");
  sources.font = read_whole_file(exe_folder + L"\\fonts\\JetBrainsMono-Light.ttf");

  std::string folder_url;
  if (!folder.empty()) folder_url = to_utf8(file_url(to_utf16(folder)));
  const auto page = assemble_editor_page(
      sources, inline_protocol_enabled(read_environment("VESK_INLINE_PROTO")), folder_url,
      page_theme);
  if (!page) return false;

  std::wstring page_folder = to_utf16(folder);
  if (page_folder.empty()) {
    page_folder = temp_folder();
    if (!page_folder.empty() && page_folder.back() == L'\\') page_folder.pop_back();
  }
  const std::wstring path =
      page_folder + L"\\" + to_utf16(editor_page_file_name(GetCurrentProcessId()));
  if (!write_whole_file(path, *page)) return false;

  if (!preview_path.empty() && preview_path != path) DeleteFileW(preview_path.c_str());
  preview_path = path;

  const std::wstring page_url = file_url(path);
  if (page_url.empty()) return false;
  const std::string full = page_url_with_generation(to_utf8(page_url), page_generation);
  shown_page = full.substr(0, full.find('#'));
  url = to_utf16(full);
  return true;
}

void WebHostView::State::on_navigation_completed(ICoreWebView2NavigationCompletedEventArgs* args) {
  BOOL success = FALSE;
  if (args && SUCCEEDED(args->get_IsSuccess(&success)) && success) {
    web_log("page loaded");
    // A copy: the callback may end up closing the window and this view.
    if (PageLoaded loaded = on_page_loaded) loaded();
    return;
  }
  // A load that a newer one replaced did not fail: the newer one reports.
  COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
  if (args && SUCCEEDED(args->get_WebErrorStatus(&status)) &&
      status == COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED) {
    web_log("page load replaced");
    return;
  }
  show_error(parent, L"编辑器页面加载失败。");
}

// --- page to native -----------------------------------------------------------

void WebHostView::State::on_web_message(ICoreWebView2WebMessageReceivedEventArgs* args) {
  if (!args || !on_page_message) return;
  CoTaskText source;
  CoTaskText json;
  args->get_Source(source.put());
  args->get_WebMessageAsJson(json.put());
  const std::string source_text = source.get() ? to_utf8(source.get()) : std::string();
  if (!message_from_current_page(source_text, shown_page, page_generation)) return;
  if (!json.get()) return;
  const std::string text = to_utf8(json.get());
  // An engine the page asks for is the web folder's business, not the app's.
  if (const std::string engine = engine_request(text); !engine.empty()) {
    const std::string script = read_whole_file(executable_folder() + L"\\web\\" + to_utf16(engine) + L".js");
    web_log("engine " + engine + " " + std::to_string(script.size()) + " bytes");
    for (const std::string& piece : engine_injection_scripts(engine, script)) execute(piece);
    return;
  }
  if (PageMessage handle = on_page_message) handle(text);
}

void WebHostView::State::on_navigation_starting(ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return;
  CoTaskText uri;
  args->get_Uri(uri.put());
  const std::string target = uri.get() ? to_utf8(uri.get()) : std::string();
  if (navigation_allowed(target, shown_page)) return;
  args->put_Cancel(TRUE);
  web_log("navigation cancelled " + target);
}

void WebHostView::State::on_new_window_requested(ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (!args) return;
  // Handled without a window of ours: nothing opens.
  args->put_Handled(TRUE);
  CoTaskText uri;
  args->get_Uri(uri.put());
  const std::string target = uri.get() ? to_utf8(uri.get()) : std::string();
  web_log("new window refused " + target);
  const std::string message = new_window_message(target);
  if (message.empty()) return;
  if (PageMessage handle = on_page_message) handle(message);
}

void WebHostView::State::on_accelerator_key(ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
  if (!args || !on_accelerator) return;
  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
  if (FAILED(args->get_KeyEventKind(&kind))) return;
  if (kind != COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN && kind != COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN) {
    return;
  }
  UINT key = 0;
  if (FAILED(args->get_VirtualKey(&key))) return;
  // Keep the args alive across the callback, which may close this view.
  ComPtr<ICoreWebView2AcceleratorKeyPressedEventArgs> hold =
      ComPtr<ICoreWebView2AcceleratorKeyPressedEventArgs>::retain(args);
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
  const bool repeat = SUCCEEDED(args->get_PhysicalKeyStatus(&status)) && status.WasKeyDown;
  if (Accelerator handle = on_accelerator; handle(key, modifier_mask(), repeat)) hold->put_Handled(TRUE);
}

// --- native to page -------------------------------------------------------------

void WebHostView::State::execute(const std::string& script) {
  web_view->ExecuteScript(to_utf16(script).c_str(), nullptr);
}

void WebHostView::run_script(const std::string& script) {
  if (!state_->web_view || script.empty()) return;
  state_->execute(script);
}

void WebHostView::set_markdown(const std::string& markdown) {
  State& s = *state_;
  if (!s.web_view) return;
  const MarkdownDelivery delivery = plan_markdown_delivery(markdown);
  switch (delivery.route) {
    case MarkdownRoute::PageCall:
      s.execute(delivery.payload);
      return;
    case MarkdownRoute::WebMessage:
      if (SUCCEEDED(s.web_view->PostWebMessageAsJson(to_utf16(delivery.payload).c_str()))) return;
      break;
    case MarkdownRoute::Chunks:
      break;
  }
  // The pieces rely on the control running scripts in submission order; the
  // last one joins them and hands the whole text over at once.
  for (const std::string& script : chunk_injection_scripts(markdown, quoted_text_of(delivery))) {
    s.execute(script);
  }
}

void WebHostView::evaluate_script_result(const std::string& script, ScriptResult callback) {
  State& s = *state_;
  if (!s.web_view || script.empty()) return;
  Once<ScriptResult> once(std::move(callback));
  std::shared_ptr<bool> flag = s.alive;
  const HRESULT started = s.web_view->ExecuteScript(
      to_utf16(script).c_str(), make_callback<ICoreWebView2ExecuteScriptCompletedHandler>(
                                    [flag, once](HRESULT result, LPCWSTR json) {
                                      if (*flag) once(SUCCEEDED(result), json ? to_utf8(json) : std::string());
                                      return S_OK;
                                    })
                                    .get());
  // A call refused outright never completes; say so instead of going silent.
  if (FAILED(started)) once(false, std::string());
}

void WebHostView::capture_preview(const std::string& path, Done callback) {
  State& s = *state_;
  if (!s.web_view || path.empty()) {
    if (callback) callback(false);
    return;
  }
  ComPtr<IStream> stream;
  if (FAILED(SHCreateStreamOnFileEx(to_utf16(path).c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_WRITE,
                                    FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, stream.put()))) {
    if (callback) callback(false);
    return;
  }
  Once<Done> once(std::move(callback));
  std::shared_ptr<bool> flag = s.alive;
  const HRESULT started = s.web_view->CapturePreview(
      COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG, stream.get(),
      make_callback<ICoreWebView2CapturePreviewCompletedHandler>([flag, once](HRESULT result) {
        if (*flag) once(SUCCEEDED(result));
        return S_OK;
      }).get());
  stream.reset();
  if (FAILED(started)) once(false);
}

void WebHostView::print_to_pdf(const std::string& path, double scale, Done callback) {
  State& s = *state_;
  ComPtr<ICoreWebView2_7> web_view7;
  if (!s.web_view || path.empty() ||
      FAILED(s.web_view->QueryInterface(__uuidof(ICoreWebView2_7), web_view7.put_void()))) {
    if (callback) callback(false);
    return;
  }

  // A4 with fixed margins, in inches; without the newer environment the
  // control's defaults apply.
  ComPtr<ICoreWebView2PrintSettings> settings;
  ComPtr<ICoreWebView2Environment6> environment6;
  if (s.environment &&
      SUCCEEDED(s.environment->QueryInterface(__uuidof(ICoreWebView2Environment6), environment6.put_void())) &&
      SUCCEEDED(environment6->CreatePrintSettings(settings.put())) && settings) {
    settings->put_PageWidth(kA4WidthInches);
    settings->put_PageHeight(kA4HeightInches);
    settings->put_MarginLeft(kA4SideMarginInches);
    settings->put_MarginRight(kA4SideMarginInches);
    settings->put_MarginTop(kA4TopBottomMarginInches);
    settings->put_MarginBottom(kA4TopBottomMarginInches);
    settings->put_ShouldPrintBackgrounds(TRUE);
    settings->put_ShouldPrintHeaderAndFooter(FALSE);
    if (scale > 0) settings->put_ScaleFactor(scale);
  }

  Once<Done> once(std::move(callback));
  std::shared_ptr<bool> flag = s.alive;
  const HRESULT started = web_view7->PrintToPdf(
      to_utf16(path).c_str(), settings.get(),
      make_callback<ICoreWebView2PrintToPdfCompletedHandler>([flag, once](HRESULT result, BOOL printed) {
        if (*flag) once(SUCCEEDED(result) && printed);
        return S_OK;
      }).get());
  if (FAILED(started)) once(false);
}

HWND WebHostView::web_control_window() const { return win::web_control_window(state_->parent); }

}  // namespace vesk::win
