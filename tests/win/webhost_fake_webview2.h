// A recording WebView2 for the web host's tests. Its objects are built from
// raw vtables laid out by the published slot numbers, not from our own
// declarations: a web host that called through a misordered declaration would
// land on a slot the fake does not expect, and the fake writes that down.
// Completions do not run by themselves; the test runs them when it chooses.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <string>
#include <vector>

#include "webhost/webview2_api.h"

namespace vesk::testing {

struct FakeWebView2 {
  // --- how the fake behaves ---
  HRESULT version_result = S_OK;
  bool version_text = true;  // false: success without a version string
  HRESULT create_environment_result = S_OK;
  bool offer_environment6 = true;
  bool offer_controller4 = true;
  bool offer_settings3 = true;
  bool offer_web_view7 = true;
  HRESULT get_web_view_result = S_OK;
  HRESULT post_message_result = S_OK;
  HRESULT execute_result = S_OK;  // what ExecuteScript itself returns

  // --- what happened ---
  std::vector<std::string> calls;  // "Navigate file:///…", "put_Bounds 0 0 640 480", …
  std::vector<int> unexpected_slots;
  std::vector<std::string> scripts;         // ExecuteScript, in order
  std::vector<std::string> posted;          // PostWebMessageAsJson
  std::string document_script;              // AddScriptToExecuteOnDocumentCreated
  std::vector<std::string> navigations;     // Navigate URLs
  std::vector<std::string> print_settings;  // "PageWidth 8.27", … of the last PrintToPdf
  int live_objects = 0;                     // fake objects not yet released

  // Handlers the web host handed over, held until run.
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environment_handler = nullptr;
  ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* controller_handler = nullptr;
  ICoreWebView2WebMessageReceivedEventHandler* message_handler = nullptr;
  ICoreWebView2NavigationCompletedEventHandler* navigation_handler = nullptr;
  ICoreWebView2AcceleratorKeyPressedEventHandler* accelerator_handler = nullptr;
  ICoreWebView2NavigationStartingEventHandler* starting_handler = nullptr;
  ICoreWebView2NewWindowRequestedEventHandler* new_window_handler = nullptr;
  std::vector<ICoreWebView2ExecuteScriptCompletedHandler*> script_handlers;
  ICoreWebView2CapturePreviewCompletedHandler* capture_handler = nullptr;
  IStream* capture_stream = nullptr;
  ICoreWebView2PrintToPdfCompletedHandler* print_handler = nullptr;
  EventRegistrationToken accelerator_token{};
  bool accelerator_handled = false;  // the last key's put_Handled(TRUE)

  // --- driving it ---
  void complete_environment(HRESULT result, bool with_environment = true);
  void complete_controller(HRESULT result, bool with_controller = true);
  void send_message(const std::wstring& source, const std::wstring& json);
  void complete_navigation(bool success, COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
  // True when the web host cancelled the navigation / handled the request.
  bool start_navigation(const std::wstring& uri);
  bool request_new_window(const std::wstring& uri);
  void press_key(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT key, bool repeat = false);
  void complete_script(std::size_t index, HRESULT result, const wchar_t* json);
  void complete_capture(HRESULT result);
  void complete_print(HRESULT result, BOOL printed);

  // Releases every handler still held (end of a test).
  void release_handlers();
};

// The one fake of the process, reset by install_fake_webview2.
FakeWebView2& fake_webview2();
// Loads tests' WebView2Loader.dll (beside the test program, in fake-loader\)
// and points its exports at a fresh fake. Returns the module to free later.
HMODULE install_fake_webview2();

}  // namespace vesk::testing
