#include "webhost_fake_webview2.h"

#include <array>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/strings.h"

namespace vesk::testing {
namespace {

enum class Kind {
  Environment, Controller, WebView, Settings, PrintSettings, MessageArgs, NavigationArgs, KeyArgs,
  StartingArgs, NewWindowArgs
};

struct FakeObject {
  void* const* vtable = nullptr;
  LONG refs = 1;
  Kind kind;
  std::vector<std::string> values;  // print settings as set
  std::wstring source, json;        // message arguments
  BOOL success = FALSE;             // navigation arguments
  COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
  COREWEBVIEW2_KEY_EVENT_KIND key_kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  bool key_repeat = false;
  UINT key = 0;
  BOOL flag = FALSE;  // Cancel or Handled as set
};

FakeWebView2& world() { return fake_webview2(); }
void record(std::string call) { world().calls.push_back(std::move(call)); }
std::string utf8(LPCWSTR text) { return text ? win::to_utf8(text) : std::string("(null)"); }

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

template <typename Interface>
void hold(Interface*& slot, Interface* handler) {
  if (handler) handler->AddRef();
  if (slot) slot->Release();
  slot = handler;
}

LPWSTR co_task_copy(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  text.copy(copy, text.size());
  copy[text.size()] = L'\0';
  return copy;
}

// --- vtables by slot number -------------------------------------------------------

template <int Slot>
HRESULT STDMETHODCALLTYPE unexpected(void*) {
  world().unexpected_slots.push_back(Slot);
  return E_NOTIMPL;
}

template <std::size_t... Slot>
std::vector<void*> unexpected_table(std::index_sequence<Slot...>) {
  return {reinterpret_cast<void*>(&unexpected<static_cast<int>(Slot)>)...};
}

FakeObject* make(Kind kind);

HRESULT STDMETHODCALLTYPE query_interface(FakeObject* self, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  bool offered = IsEqualIID(iid, IID_IUnknown);
  const FakeWebView2& w = world();
  switch (self->kind) {
    case Kind::Environment:
      offered = offered || IsEqualIID(iid, __uuidof(ICoreWebView2Environment)) ||
                (w.offer_environment6 && IsEqualIID(iid, __uuidof(ICoreWebView2Environment6)));
      break;
    case Kind::Controller:
      offered = offered || IsEqualIID(iid, __uuidof(ICoreWebView2Controller)) ||
                (w.offer_controller4 && IsEqualIID(iid, __uuidof(ICoreWebView2Controller4)));
      break;
    case Kind::WebView:
      offered = offered || IsEqualIID(iid, __uuidof(ICoreWebView2)) ||
                (w.offer_web_view7 && IsEqualIID(iid, __uuidof(ICoreWebView2_7)));
      break;
    case Kind::Settings:
      offered = offered || IsEqualIID(iid, __uuidof(ICoreWebView2Settings)) ||
                (w.offer_settings3 && IsEqualIID(iid, __uuidof(ICoreWebView2Settings3)));
      break;
    default:
      break;
  }
  if (!offered) return E_NOINTERFACE;
  ++self->refs;
  *out = self;
  return S_OK;
}

ULONG STDMETHODCALLTYPE add_ref(FakeObject* self) { return static_cast<ULONG>(++self->refs); }
ULONG STDMETHODCALLTYPE release(FakeObject* self) {
  const LONG left = --self->refs;
  if (left == 0) {
    --world().live_objects;
    delete self;
  }
  return static_cast<ULONG>(left);
}

// Environment
HRESULT STDMETHODCALLTYPE create_controller(FakeObject*, HWND parent,
                                            ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
  record(std::string("CreateCoreWebView2Controller ") + (parent ? "window" : "none"));
  hold(world().controller_handler, handler);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE create_print_settings(FakeObject*, void** out) {
  *out = make(Kind::PrintSettings);
  return S_OK;
}

// Controller
HRESULT STDMETHODCALLTYPE put_is_visible(FakeObject*, BOOL visible) {
  record("put_IsVisible " + std::to_string(visible));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE put_bounds(FakeObject*, RECT r) {
  record("put_Bounds " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
         std::to_string(r.bottom));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE move_focus(FakeObject*, int reason) {
  record("MoveFocus " + std::to_string(reason));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE add_accelerator(FakeObject*, ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                          EventRegistrationToken* token) {
  record("add_AcceleratorKeyPressed");
  hold(world().accelerator_handler, handler);
  token->value = 1919;
  world().accelerator_token = *token;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE remove_accelerator(FakeObject*, EventRegistrationToken token) {
  record("remove_AcceleratorKeyPressed " + std::to_string(token.value));
  hold(world().accelerator_handler, static_cast<ICoreWebView2AcceleratorKeyPressedEventHandler*>(nullptr));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE close_controller(FakeObject*) {
  record("Close");
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_web_view(FakeObject*, void** out) {
  record("get_CoreWebView2");
  *out = nullptr;
  if (FAILED(world().get_web_view_result)) return world().get_web_view_result;
  *out = make(Kind::WebView);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE put_allow_external_drop(FakeObject*, BOOL allow) {
  record("put_AllowExternalDrop " + std::to_string(allow));
  return S_OK;
}

// Web view
HRESULT STDMETHODCALLTYPE get_settings(FakeObject*, void** out) {
  record("get_Settings");
  *out = make(Kind::Settings);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE navigate(FakeObject*, LPCWSTR url) {
  record("Navigate");
  world().navigations.push_back(utf8(url));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE add_navigation_completed(FakeObject*, ICoreWebView2NavigationCompletedEventHandler* handler,
                                                   EventRegistrationToken* token) {
  record("add_NavigationCompleted");
  hold(world().navigation_handler, handler);
  token->value = 15;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE add_document_script(FakeObject*, LPCWSTR script, void* handler) {
  record(std::string("AddScriptToExecuteOnDocumentCreated") + (handler ? " with handler" : ""));
  world().document_script = utf8(script);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE execute_script(FakeObject*, LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler) {
  FakeWebView2& w = world();
  w.scripts.push_back(utf8(script));
  ICoreWebView2ExecuteScriptCompletedHandler* kept = nullptr;
  if (SUCCEEDED(w.execute_result)) hold(kept, handler);
  w.script_handlers.push_back(kept);
  return w.execute_result;
}
HRESULT STDMETHODCALLTYPE capture_preview(FakeObject*, COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT format, IStream* stream,
                                          ICoreWebView2CapturePreviewCompletedHandler* handler) {
  record("CapturePreview " + std::to_string(format));
  hold(world().capture_stream, stream);
  hold(world().capture_handler, handler);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE post_json(FakeObject*, LPCWSTR json) {
  world().posted.push_back(utf8(json));
  return world().post_message_result;
}
HRESULT STDMETHODCALLTYPE add_navigation_starting(FakeObject*, ICoreWebView2NavigationStartingEventHandler* handler,
                                                  EventRegistrationToken* token) {
  record("add_NavigationStarting");
  hold(world().starting_handler, handler);
  token->value = 7;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE add_new_window_requested(FakeObject*, ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                   EventRegistrationToken* token) {
  record("add_NewWindowRequested");
  hold(world().new_window_handler, handler);
  token->value = 44;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE add_message_received(FakeObject*, ICoreWebView2WebMessageReceivedEventHandler* handler,
                                               EventRegistrationToken* token) {
  record("add_WebMessageReceived");
  hold(world().message_handler, handler);
  token->value = 34;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE print_to_pdf(FakeObject*, LPCWSTR path, FakeObject* settings,
                                       ICoreWebView2PrintToPdfCompletedHandler* handler) {
  record("PrintToPdf " + utf8(path));
  world().print_settings = settings ? settings->values : std::vector<std::string>{"(defaults)"};
  hold(world().print_handler, handler);
  return S_OK;
}

// Settings
HRESULT STDMETHODCALLTYPE put_browser_keys(FakeObject*, BOOL enabled) {
  record("put_AreBrowserAcceleratorKeysEnabled " + std::to_string(enabled));
  return S_OK;
}

// Print settings: every setter the web host may use, by slot.
template <int Slot>
HRESULT STDMETHODCALLTYPE put_print_number(FakeObject* self, double value) {
  static const char* const names[] = {"", "", "", "", "", "", "ScaleFactor", "", "PageWidth", "", "PageHeight", "",
                                      "MarginTop", "", "MarginBottom", "", "MarginLeft", "", "MarginRight"};
  self->values.push_back(std::string(names[Slot]) + " " + number(value));
  return S_OK;
}
template <int Slot>
HRESULT STDMETHODCALLTYPE put_print_flag(FakeObject* self, BOOL value) {
  self->values.push_back(std::string(Slot == 20 ? "ShouldPrintBackgrounds" : "ShouldPrintHeaderAndFooter") + " " +
                         std::to_string(value));
  return S_OK;
}

// Event arguments
HRESULT STDMETHODCALLTYPE get_source(FakeObject* self, LPWSTR* out) {
  *out = co_task_copy(self->source);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_json(FakeObject* self, LPWSTR* out) {
  *out = co_task_copy(self->json);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_is_success(FakeObject* self, BOOL* out) {
  *out = self->success;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_error_status(FakeObject* self, COREWEBVIEW2_WEB_ERROR_STATUS* out) {
  *out = self->status;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_key_kind(FakeObject* self, COREWEBVIEW2_KEY_EVENT_KIND* out) {
  *out = self->key_kind;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_virtual_key(FakeObject* self, UINT* out) {
  *out = self->key;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE put_flag(FakeObject* self, BOOL value) {
  self->flag = value;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE get_physical_key_status(FakeObject* self, COREWEBVIEW2_PHYSICAL_KEY_STATUS* out) {
  *out = {};
  out->RepeatCount = 1;
  out->WasKeyDown = self->key_repeat ? TRUE : FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE put_handled(FakeObject*, BOOL handled) {
  record("put_Handled " + std::to_string(handled));
  world().accelerator_handled = handled != FALSE;
  return S_OK;
}

template <std::size_t Size>
std::vector<void*> table(std::initializer_list<std::pair<int, void*>> entries) {
  std::vector<void*> slots = unexpected_table(std::make_index_sequence<Size>{});
  slots[0] = reinterpret_cast<void*>(&query_interface);
  slots[1] = reinterpret_cast<void*>(&add_ref);
  slots[2] = reinterpret_cast<void*>(&release);
  for (const auto& [slot, function] : entries) slots[static_cast<std::size_t>(slot)] = function;
  return slots;
}

#define F(function) reinterpret_cast<void*>(&function)

void* const* vtable_of(Kind kind) {
  static const std::vector<void*> environment = table<15>({{3, F(create_controller)}, {14, F(create_print_settings)}});
  static const std::vector<void*> controller = table<38>({{4, F(put_is_visible)}, {6, F(put_bounds)},
                                                          {12, F(move_focus)}, {19, F(add_accelerator)},
                                                          {20, F(remove_accelerator)}, {24, F(close_controller)},
                                                          {25, F(get_web_view)}, {37, F(put_allow_external_drop)}});
  static const std::vector<void*> web_view = table<81>({{3, F(get_settings)}, {5, F(navigate)},
                                                        {15, F(add_navigation_completed)}, {27, F(add_document_script)},
                                                        {29, F(execute_script)}, {30, F(capture_preview)},
                                                        {32, F(post_json)}, {34, F(add_message_received)},
                                                        {7, F(add_navigation_starting)},
                                                        {44, F(add_new_window_requested)}, {80, F(print_to_pdf)}});
  static const std::vector<void*> settings = table<25>({{24, F(put_browser_keys)}});
  static const std::vector<void*> print = table<29>({{6, F(put_print_number<6>)}, {8, F(put_print_number<8>)},
                                                     {10, F(put_print_number<10>)}, {12, F(put_print_number<12>)},
                                                     {14, F(put_print_number<14>)}, {16, F(put_print_number<16>)},
                                                     {18, F(put_print_number<18>)}, {20, F(put_print_flag<20>)},
                                                     {24, F(put_print_flag<24>)}});
  static const std::vector<void*> message_args = table<6>({{3, F(get_source)}, {4, F(get_json)}});
  static const std::vector<void*> navigation_args = table<6>({{3, F(get_is_success)}, {4, F(get_error_status)}});
  static const std::vector<void*> key_args = table<9>({{3, F(get_key_kind)}, {4, F(get_virtual_key)},
                                                       {6, F(get_physical_key_status)},
                                                       {8, F(put_handled)}});
  // The URI travels in `source`; put_Cancel and put_Handled set `flag`.
  static const std::vector<void*> starting_args = table<10>({{3, F(get_source)}, {8, F(put_flag)}});
  static const std::vector<void*> new_window_args = table<11>({{3, F(get_source)}, {6, F(put_flag)}});
  switch (kind) {
    case Kind::Environment: return environment.data();
    case Kind::Controller: return controller.data();
    case Kind::WebView: return web_view.data();
    case Kind::Settings: return settings.data();
    case Kind::PrintSettings: return print.data();
    case Kind::MessageArgs: return message_args.data();
    case Kind::NavigationArgs: return navigation_args.data();
    case Kind::KeyArgs: return key_args.data();
    case Kind::StartingArgs: return starting_args.data();
    case Kind::NewWindowArgs: return new_window_args.data();
  }
  return nullptr;
}

#undef F

FakeObject* make(Kind kind) {
  auto* object = new FakeObject;
  object->vtable = vtable_of(kind);
  object->kind = kind;
  ++world().live_objects;
  return object;
}

template <typename Interface>
Interface* as(FakeObject* object) {
  return reinterpret_cast<Interface*>(object);
}

// --- the loader's exports, installed into the fake DLL ------------------------------

HRESULT STDAPICALLTYPE fake_version(PCWSTR, LPWSTR* version) {
  record("GetAvailableCoreWebView2BrowserVersionString");
  *version = nullptr;
  if (FAILED(world().version_result)) return world().version_result;
  if (world().version_text) *version = co_task_copy(L"123.0.4567.8");
  return world().version_result;
}

HRESULT STDAPICALLTYPE fake_create(PCWSTR browser, PCWSTR data, void* options, void* handler) {
  record(std::string("CreateCoreWebView2EnvironmentWithOptions ") + (browser ? "folder" : "no folder") + " " +
         utf8(data) + (options ? " options" : " no options"));
  if (FAILED(world().create_environment_result)) return world().create_environment_result;
  hold(world().environment_handler,
       static_cast<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*>(handler));
  return S_OK;
}

}  // namespace

FakeWebView2& fake_webview2() {
  static FakeWebView2 instance;
  return instance;
}

HMODULE install_fake_webview2() {
  fake_webview2().release_handlers();
  fake_webview2() = FakeWebView2{};
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll(path);
  dll.resize(dll.find_last_of(L"\\/") + 1);
  dll += L"fake-loader\\WebView2Loader.dll";
  HMODULE module = LoadLibraryW(dll.c_str());
  if (!module) return nullptr;
  using Install = void (*)(decltype(&fake_version), decltype(&fake_create));
  auto install = reinterpret_cast<Install>(reinterpret_cast<void*>(GetProcAddress(module, "vesk_fake_loader_install")));
  if (install) install(&fake_version, &fake_create);
  return module;
}

void FakeWebView2::complete_environment(HRESULT result, bool with_environment) {
  FakeObject* environment = with_environment ? make(Kind::Environment) : nullptr;
  environment_handler->Invoke(result, as<ICoreWebView2Environment>(environment));
  if (environment) release(environment);
}

void FakeWebView2::complete_controller(HRESULT result, bool with_controller) {
  FakeObject* controller = with_controller ? make(Kind::Controller) : nullptr;
  controller_handler->Invoke(result, as<ICoreWebView2Controller>(controller));
  if (controller) release(controller);
}

void FakeWebView2::send_message(const std::wstring& source, const std::wstring& json) {
  FakeObject* args = make(Kind::MessageArgs);
  args->source = source;
  args->json = json;
  message_handler->Invoke(nullptr, as<ICoreWebView2WebMessageReceivedEventArgs>(args));
  release(args);
}

void FakeWebView2::complete_navigation(bool success, COREWEBVIEW2_WEB_ERROR_STATUS status) {
  FakeObject* args = make(Kind::NavigationArgs);
  args->success = success ? TRUE : FALSE;
  args->status = status;
  navigation_handler->Invoke(nullptr, as<ICoreWebView2NavigationCompletedEventArgs>(args));
  release(args);
}

bool FakeWebView2::start_navigation(const std::wstring& uri) {
  FakeObject* args = make(Kind::StartingArgs);
  args->source = uri;
  starting_handler->Invoke(nullptr, as<ICoreWebView2NavigationStartingEventArgs>(args));
  const bool cancelled = args->flag != FALSE;
  release(args);
  return cancelled;
}

bool FakeWebView2::request_new_window(const std::wstring& uri) {
  FakeObject* args = make(Kind::NewWindowArgs);
  args->source = uri;
  new_window_handler->Invoke(nullptr, as<ICoreWebView2NewWindowRequestedEventArgs>(args));
  const bool handled = args->flag != FALSE;
  release(args);
  return handled;
}

void FakeWebView2::press_key(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT key, bool repeat) {
  accelerator_handled = false;
  FakeObject* args = make(Kind::KeyArgs);
  args->key_kind = kind;
  args->key_repeat = repeat;
  args->key = key;
  accelerator_handler->Invoke(nullptr, as<ICoreWebView2AcceleratorKeyPressedEventArgs>(args));
  release(args);
}

void FakeWebView2::complete_script(std::size_t index, HRESULT result, const wchar_t* json) {
  ICoreWebView2ExecuteScriptCompletedHandler* handler = std::exchange(script_handlers.at(index), nullptr);
  handler->Invoke(result, json);
  handler->Release();
}

void FakeWebView2::complete_capture(HRESULT result) {
  if (capture_stream) capture_stream->Release();
  capture_stream = nullptr;
  ICoreWebView2CapturePreviewCompletedHandler* handler = std::exchange(capture_handler, nullptr);
  handler->Invoke(result);
  handler->Release();
}

void FakeWebView2::complete_print(HRESULT result, BOOL printed) {
  ICoreWebView2PrintToPdfCompletedHandler* handler = std::exchange(print_handler, nullptr);
  handler->Invoke(result, printed);
  handler->Release();
}

void FakeWebView2::release_handlers() {
  auto drop = [](auto*& handler) {
    if (handler) handler->Release();
    handler = nullptr;
  };
  drop(environment_handler);
  drop(controller_handler);
  drop(message_handler);
  drop(navigation_handler);
  drop(accelerator_handler);
  drop(starting_handler);
  drop(new_window_handler);
  drop(capture_handler);
  drop(capture_stream);
  drop(print_handler);
  for (auto*& handler : script_handlers) drop(handler);
}

}  // namespace vesk::testing
