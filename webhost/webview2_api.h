// The WebView2 interfaces the web host calls and the Chromium-backed control
// implements. With the official SDK on the include path (Visual Studio builds,
// and mingw builds where scripts/bootstrap fetched it) its header is used; otherwise these declarations stand in for it. Every
// interface lists every slot of its vtable in published order, including the
// methods nobody here calls: one missing entry moves every later method and
// crashes on real Windows. tests/unit/webhost_abi_test.cpp pins the slots.
//
// Rules kept throughout: single inheritance, pure virtual methods only (no
// destructor, no overloads), STDMETHODCALLTYPE on each, BOOL rather than bool,
// 32-bit enums, double rather than float, RECT and tokens by value.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <unknwn.h>

#if __has_include(<WebView2.h>) && !defined(VESK_OWN_WEBVIEW2_API)
#include <WebView2.h>
#else
#include <eventtoken.h>

#define VESK_WV2_METHOD(name) virtual HRESULT STDMETHODCALLTYPE name

// Interfaces that appear only as pointer types in slots we never call.
struct ICoreWebView2EnvironmentOptions;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2CreateCoreWebView2CompositionControllerCompletedHandler;
struct ICoreWebView2PointerInfo;
struct ICoreWebView2BrowserProcessExitedEventHandler;
struct ICoreWebView2ZoomFactorChangedEventHandler;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2RasterizationScaleChangedEventHandler;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2DOMContentLoadedEventHandler;
struct ICoreWebView2CookieManager;
struct ICoreWebView2TrySuspendCompletedHandler;
struct ICoreWebView2FrameCreatedEventHandler;
struct ICoreWebView2DownloadStartingEventHandler;
struct ICoreWebView2ClientCertificateRequestedEventHandler;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2Deferral;
struct ICoreWebView2WindowFeatures;

// Declared below; named by earlier interfaces.
struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2Settings;
struct ICoreWebView2PrintSettings;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2AcceleratorKeyPressedEventArgs;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2NavigationStartingEventHandler;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2PrintToPdfCompletedHandler;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;

// --- enums and structs (all enums 32 bits) ----------------------------------

enum COREWEBVIEW2_MOVE_FOCUS_REASON : int {
  COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
  COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
  COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2,
};

enum COREWEBVIEW2_KEY_EVENT_KIND : int {
  COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN = 0,
  COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP = 1,
  COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN = 2,
  COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP = 3,
};

enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT : int {
  COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG = 0,
  COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG = 1,
};

enum COREWEBVIEW2_PRINT_ORIENTATION : int {
  COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT = 0,
  COREWEBVIEW2_PRINT_ORIENTATION_LANDSCAPE = 1,
};

enum COREWEBVIEW2_BOUNDS_MODE : int {
  COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS = 0,
  COREWEBVIEW2_BOUNDS_MODE_USE_RASTERIZATION_SCALE = 1,
};

enum COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND : int {
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY = 0,
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW = 1,
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY_CORS = 2,
};

enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT : int {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET = 2,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE = 3,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA = 4,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FONT = 5,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT = 6,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST = 7,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH = 8,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_TEXT_TRACK = 9,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_EVENT_SOURCE = 10,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_WEBSOCKET = 11,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MANIFEST = 12,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SIGNED_EXCHANGE = 13,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_PING = 14,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_CSP_VIOLATION_REPORT = 15,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER = 16,
};

enum COREWEBVIEW2_WEB_ERROR_STATUS : int {
  COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN = 0,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_COMMON_NAME_IS_INCORRECT = 1,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_EXPIRED = 2,
  COREWEBVIEW2_WEB_ERROR_STATUS_CLIENT_CERTIFICATE_CONTAINS_ERRORS = 3,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_REVOKED = 4,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_IS_INVALID = 5,
  COREWEBVIEW2_WEB_ERROR_STATUS_SERVER_UNREACHABLE = 6,
  COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT = 7,
  COREWEBVIEW2_WEB_ERROR_STATUS_ERROR_HTTP_INVALID_SERVER_RESPONSE = 8,
  COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED = 9,
  COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_RESET = 10,
  COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED = 11,
  COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT = 12,
  COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED = 13,
  COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED = 14,
  COREWEBVIEW2_WEB_ERROR_STATUS_REDIRECT_FAILED = 15,
  COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR = 16,
  COREWEBVIEW2_WEB_ERROR_STATUS_VALID_AUTHENTICATION_CREDENTIALS_REQUIRED = 17,
  COREWEBVIEW2_WEB_ERROR_STATUS_VALID_PROXY_AUTHENTICATION_CREDENTIALS_REQUIRED = 18,
};

struct COREWEBVIEW2_COLOR {
  BYTE A;
  BYTE R;
  BYTE G;
  BYTE B;
};

struct COREWEBVIEW2_PHYSICAL_KEY_STATUS {
  UINT32 RepeatCount;
  UINT32 ScanCode;
  BOOL IsExtendedKey;
  BOOL IsMenuKeyDown;
  BOOL WasKeyDown;
  BOOL IsKeyReleased;
};

// --- environment chain --------------------------------------------------------

struct ICoreWebView2Environment : IUnknown {
  VESK_WV2_METHOD(CreateCoreWebView2Controller)(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(CreateWebResourceResponse)(IStream* content, int status_code,
                                             LPCWSTR reason_phrase, LPCWSTR headers,
                                             ICoreWebView2WebResourceResponse** response) = 0;
  VESK_WV2_METHOD(get_BrowserVersionString)(LPWSTR* version) = 0;
  VESK_WV2_METHOD(add_NewBrowserVersionAvailable)(
      ICoreWebView2NewBrowserVersionAvailableEventHandler* handler,
      EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_NewBrowserVersionAvailable)(EventRegistrationToken token) = 0;
};

struct ICoreWebView2Environment2 : ICoreWebView2Environment {
  VESK_WV2_METHOD(CreateWebResourceRequest)(LPCWSTR uri, LPCWSTR method, IStream* post_data,
                                            LPCWSTR headers,
                                            ICoreWebView2WebResourceRequest** request) = 0;
};

struct ICoreWebView2Environment3 : ICoreWebView2Environment2 {
  VESK_WV2_METHOD(CreateCoreWebView2CompositionController)(
      HWND parent, ICoreWebView2CreateCoreWebView2CompositionControllerCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(CreateCoreWebView2PointerInfo)(ICoreWebView2PointerInfo** value) = 0;
};

struct ICoreWebView2Environment4 : ICoreWebView2Environment3 {
  VESK_WV2_METHOD(GetAutomationProviderForWindow)(HWND hwnd, IUnknown** value) = 0;
};

struct ICoreWebView2Environment5 : ICoreWebView2Environment4 {
  VESK_WV2_METHOD(add_BrowserProcessExited)(ICoreWebView2BrowserProcessExitedEventHandler* handler,
                                            EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_BrowserProcessExited)(EventRegistrationToken token) = 0;
};

struct ICoreWebView2Environment6 : ICoreWebView2Environment5 {
  VESK_WV2_METHOD(CreatePrintSettings)(ICoreWebView2PrintSettings** settings) = 0;
};

// --- controller chain ---------------------------------------------------------

struct ICoreWebView2Controller : IUnknown {
  VESK_WV2_METHOD(get_IsVisible)(BOOL* visible) = 0;
  VESK_WV2_METHOD(put_IsVisible)(BOOL visible) = 0;
  VESK_WV2_METHOD(get_Bounds)(RECT* bounds) = 0;
  VESK_WV2_METHOD(put_Bounds)(RECT bounds) = 0;
  VESK_WV2_METHOD(get_ZoomFactor)(double* zoom) = 0;
  VESK_WV2_METHOD(put_ZoomFactor)(double zoom) = 0;
  VESK_WV2_METHOD(add_ZoomFactorChanged)(ICoreWebView2ZoomFactorChangedEventHandler* handler,
                                         EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_ZoomFactorChanged)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(SetBoundsAndZoomFactor)(RECT bounds, double zoom) = 0;
  VESK_WV2_METHOD(MoveFocus)(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;
  VESK_WV2_METHOD(add_MoveFocusRequested)(ICoreWebView2MoveFocusRequestedEventHandler* handler,
                                          EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_MoveFocusRequested)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_GotFocus)(ICoreWebView2FocusChangedEventHandler* handler,
                                EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_GotFocus)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_LostFocus)(ICoreWebView2FocusChangedEventHandler* handler,
                                 EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_LostFocus)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_AcceleratorKeyPressed)(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                             EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_AcceleratorKeyPressed)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(get_ParentWindow)(HWND* parent) = 0;
  VESK_WV2_METHOD(put_ParentWindow)(HWND parent) = 0;
  VESK_WV2_METHOD(NotifyParentWindowPositionChanged)() = 0;
  VESK_WV2_METHOD(Close)() = 0;
  VESK_WV2_METHOD(get_CoreWebView2)(ICoreWebView2** web_view) = 0;
};

struct ICoreWebView2Controller2 : ICoreWebView2Controller {
  VESK_WV2_METHOD(get_DefaultBackgroundColor)(COREWEBVIEW2_COLOR* color) = 0;
  VESK_WV2_METHOD(put_DefaultBackgroundColor)(COREWEBVIEW2_COLOR color) = 0;
};

struct ICoreWebView2Controller3 : ICoreWebView2Controller2 {
  VESK_WV2_METHOD(get_RasterizationScale)(double* scale) = 0;
  VESK_WV2_METHOD(put_RasterizationScale)(double scale) = 0;
  VESK_WV2_METHOD(get_ShouldDetectMonitorScaleChanges)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_ShouldDetectMonitorScaleChanges)(BOOL value) = 0;
  VESK_WV2_METHOD(add_RasterizationScaleChanged)(
      ICoreWebView2RasterizationScaleChangedEventHandler* handler, EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_RasterizationScaleChanged)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(get_BoundsMode)(COREWEBVIEW2_BOUNDS_MODE* mode) = 0;
  VESK_WV2_METHOD(put_BoundsMode)(COREWEBVIEW2_BOUNDS_MODE mode) = 0;
};

struct ICoreWebView2Controller4 : ICoreWebView2Controller3 {
  VESK_WV2_METHOD(get_AllowExternalDrop)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_AllowExternalDrop)(BOOL value) = 0;
};

// --- the web view chain ---------------------------------------------------------

struct ICoreWebView2 : IUnknown {
  VESK_WV2_METHOD(get_Settings)(ICoreWebView2Settings** settings) = 0;
  VESK_WV2_METHOD(get_Source)(LPWSTR* uri) = 0;
  VESK_WV2_METHOD(Navigate)(LPCWSTR uri) = 0;
  VESK_WV2_METHOD(NavigateToString)(LPCWSTR html) = 0;
  VESK_WV2_METHOD(add_NavigationStarting)(ICoreWebView2NavigationStartingEventHandler* handler,
                                          EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_NavigationStarting)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_ContentLoading)(ICoreWebView2ContentLoadingEventHandler* handler,
                                      EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_ContentLoading)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_SourceChanged)(ICoreWebView2SourceChangedEventHandler* handler,
                                     EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_SourceChanged)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_HistoryChanged)(ICoreWebView2HistoryChangedEventHandler* handler,
                                      EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_HistoryChanged)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_NavigationCompleted)(ICoreWebView2NavigationCompletedEventHandler* handler,
                                           EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_NavigationCompleted)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_FrameNavigationStarting)(ICoreWebView2NavigationStartingEventHandler* handler,
                                               EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_FrameNavigationStarting)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_FrameNavigationCompleted)(
      ICoreWebView2NavigationCompletedEventHandler* handler, EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_FrameNavigationCompleted)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_ScriptDialogOpening)(ICoreWebView2ScriptDialogOpeningEventHandler* handler,
                                           EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_ScriptDialogOpening)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_PermissionRequested)(ICoreWebView2PermissionRequestedEventHandler* handler,
                                           EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_PermissionRequested)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_ProcessFailed)(ICoreWebView2ProcessFailedEventHandler* handler,
                                     EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_ProcessFailed)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(AddScriptToExecuteOnDocumentCreated)(
      LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(RemoveScriptToExecuteOnDocumentCreated)(LPCWSTR id) = 0;
  VESK_WV2_METHOD(ExecuteScript)(LPCWSTR script,
                                 ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(CapturePreview)(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT format,
                                  IStream* stream,
                                  ICoreWebView2CapturePreviewCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(Reload)() = 0;
  VESK_WV2_METHOD(PostWebMessageAsJson)(LPCWSTR json) = 0;
  VESK_WV2_METHOD(PostWebMessageAsString)(LPCWSTR text) = 0;
  VESK_WV2_METHOD(add_WebMessageReceived)(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                          EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_WebMessageReceived)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(CallDevToolsProtocolMethod)(
      LPCWSTR method, LPCWSTR parameters_json,
      ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(get_BrowserProcessId)(UINT32* id) = 0;
  VESK_WV2_METHOD(get_CanGoBack)(BOOL* can) = 0;
  VESK_WV2_METHOD(get_CanGoForward)(BOOL* can) = 0;
  VESK_WV2_METHOD(GoBack)() = 0;
  VESK_WV2_METHOD(GoForward)() = 0;
  VESK_WV2_METHOD(GetDevToolsProtocolEventReceiver)(
      LPCWSTR event_name, ICoreWebView2DevToolsProtocolEventReceiver** receiver) = 0;
  VESK_WV2_METHOD(Stop)() = 0;
  VESK_WV2_METHOD(add_NewWindowRequested)(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                          EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_NewWindowRequested)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_DocumentTitleChanged)(ICoreWebView2DocumentTitleChangedEventHandler* handler,
                                            EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_DocumentTitleChanged)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(get_DocumentTitle)(LPWSTR* title) = 0;
  VESK_WV2_METHOD(AddHostObjectToScript)(LPCWSTR name, VARIANT* object) = 0;
  VESK_WV2_METHOD(RemoveHostObjectFromScript)(LPCWSTR name) = 0;
  VESK_WV2_METHOD(OpenDevToolsWindow)() = 0;
  VESK_WV2_METHOD(add_ContainsFullScreenElementChanged)(
      ICoreWebView2ContainsFullScreenElementChangedEventHandler* handler,
      EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_ContainsFullScreenElementChanged)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(get_ContainsFullScreenElement)(BOOL* contains) = 0;
  VESK_WV2_METHOD(add_WebResourceRequested)(ICoreWebView2WebResourceRequestedEventHandler* handler,
                                            EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_WebResourceRequested)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(AddWebResourceRequestedFilter)(LPCWSTR uri,
                                                 COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) = 0;
  VESK_WV2_METHOD(RemoveWebResourceRequestedFilter)(LPCWSTR uri,
                                                    COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) = 0;
  VESK_WV2_METHOD(add_WindowCloseRequested)(ICoreWebView2WindowCloseRequestedEventHandler* handler,
                                            EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_WindowCloseRequested)(EventRegistrationToken token) = 0;
};

struct ICoreWebView2_2 : ICoreWebView2 {
  VESK_WV2_METHOD(add_WebResourceResponseReceived)(
      ICoreWebView2WebResourceResponseReceivedEventHandler* handler, EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_WebResourceResponseReceived)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(NavigateWithWebResourceRequest)(ICoreWebView2WebResourceRequest* request) = 0;
  VESK_WV2_METHOD(add_DOMContentLoaded)(ICoreWebView2DOMContentLoadedEventHandler* handler,
                                        EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_DOMContentLoaded)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(get_CookieManager)(ICoreWebView2CookieManager** manager) = 0;
  VESK_WV2_METHOD(get_Environment)(ICoreWebView2Environment** environment) = 0;
};

struct ICoreWebView2_3 : ICoreWebView2_2 {
  VESK_WV2_METHOD(TrySuspend)(ICoreWebView2TrySuspendCompletedHandler* handler) = 0;
  VESK_WV2_METHOD(Resume)() = 0;
  VESK_WV2_METHOD(get_IsSuspended)(BOOL* suspended) = 0;
  VESK_WV2_METHOD(SetVirtualHostNameToFolderMapping)(
      LPCWSTR host, LPCWSTR folder, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND access) = 0;
  VESK_WV2_METHOD(ClearVirtualHostNameToFolderMapping)(LPCWSTR host) = 0;
};

struct ICoreWebView2_4 : ICoreWebView2_3 {
  VESK_WV2_METHOD(add_FrameCreated)(ICoreWebView2FrameCreatedEventHandler* handler,
                                    EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_FrameCreated)(EventRegistrationToken token) = 0;
  VESK_WV2_METHOD(add_DownloadStarting)(ICoreWebView2DownloadStartingEventHandler* handler,
                                        EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_DownloadStarting)(EventRegistrationToken token) = 0;
};

struct ICoreWebView2_5 : ICoreWebView2_4 {
  VESK_WV2_METHOD(add_ClientCertificateRequested)(
      ICoreWebView2ClientCertificateRequestedEventHandler* handler, EventRegistrationToken* token) = 0;
  VESK_WV2_METHOD(remove_ClientCertificateRequested)(EventRegistrationToken token) = 0;
};

struct ICoreWebView2_6 : ICoreWebView2_5 {
  VESK_WV2_METHOD(OpenTaskManagerWindow)() = 0;
};

struct ICoreWebView2_7 : ICoreWebView2_6 {
  VESK_WV2_METHOD(PrintToPdf)(LPCWSTR path, ICoreWebView2PrintSettings* settings,
                              ICoreWebView2PrintToPdfCompletedHandler* handler) = 0;
};

// --- settings -------------------------------------------------------------------

struct ICoreWebView2Settings : IUnknown {
  VESK_WV2_METHOD(get_IsScriptEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_IsScriptEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_IsWebMessageEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_IsWebMessageEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_AreDefaultScriptDialogsEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_AreDefaultScriptDialogsEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_IsStatusBarEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_IsStatusBarEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_AreDevToolsEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_AreDevToolsEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_AreDefaultContextMenusEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_AreDefaultContextMenusEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_AreHostObjectsAllowed)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_AreHostObjectsAllowed)(BOOL value) = 0;
  VESK_WV2_METHOD(get_IsZoomControlEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_IsZoomControlEnabled)(BOOL value) = 0;
  VESK_WV2_METHOD(get_IsBuiltInErrorPageEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_IsBuiltInErrorPageEnabled)(BOOL value) = 0;
};

struct ICoreWebView2Settings2 : ICoreWebView2Settings {
  VESK_WV2_METHOD(get_UserAgent)(LPWSTR* value) = 0;
  VESK_WV2_METHOD(put_UserAgent)(LPCWSTR value) = 0;
};

struct ICoreWebView2Settings3 : ICoreWebView2Settings2 {
  VESK_WV2_METHOD(get_AreBrowserAcceleratorKeysEnabled)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_AreBrowserAcceleratorKeysEnabled)(BOOL value) = 0;
};

struct ICoreWebView2PrintSettings : IUnknown {
  VESK_WV2_METHOD(get_Orientation)(COREWEBVIEW2_PRINT_ORIENTATION* value) = 0;
  VESK_WV2_METHOD(put_Orientation)(COREWEBVIEW2_PRINT_ORIENTATION value) = 0;
  VESK_WV2_METHOD(get_ScaleFactor)(double* value) = 0;
  VESK_WV2_METHOD(put_ScaleFactor)(double value) = 0;
  VESK_WV2_METHOD(get_PageWidth)(double* value) = 0;
  VESK_WV2_METHOD(put_PageWidth)(double value) = 0;
  VESK_WV2_METHOD(get_PageHeight)(double* value) = 0;
  VESK_WV2_METHOD(put_PageHeight)(double value) = 0;
  VESK_WV2_METHOD(get_MarginTop)(double* value) = 0;
  VESK_WV2_METHOD(put_MarginTop)(double value) = 0;
  VESK_WV2_METHOD(get_MarginBottom)(double* value) = 0;
  VESK_WV2_METHOD(put_MarginBottom)(double value) = 0;
  VESK_WV2_METHOD(get_MarginLeft)(double* value) = 0;
  VESK_WV2_METHOD(put_MarginLeft)(double value) = 0;
  VESK_WV2_METHOD(get_MarginRight)(double* value) = 0;
  VESK_WV2_METHOD(put_MarginRight)(double value) = 0;
  VESK_WV2_METHOD(get_ShouldPrintBackgrounds)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_ShouldPrintBackgrounds)(BOOL value) = 0;
  VESK_WV2_METHOD(get_ShouldPrintSelectionOnly)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_ShouldPrintSelectionOnly)(BOOL value) = 0;
  VESK_WV2_METHOD(get_ShouldPrintHeaderAndFooter)(BOOL* value) = 0;
  VESK_WV2_METHOD(put_ShouldPrintHeaderAndFooter)(BOOL value) = 0;
  VESK_WV2_METHOD(get_HeaderTitle)(LPWSTR* value) = 0;
  VESK_WV2_METHOD(put_HeaderTitle)(LPCWSTR value) = 0;
  VESK_WV2_METHOD(get_FooterUri)(LPWSTR* value) = 0;
  VESK_WV2_METHOD(put_FooterUri)(LPCWSTR value) = 0;
};

// --- event arguments --------------------------------------------------------------

struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
  VESK_WV2_METHOD(get_Source)(LPWSTR* source) = 0;
  VESK_WV2_METHOD(get_WebMessageAsJson)(LPWSTR* json) = 0;
  VESK_WV2_METHOD(TryGetWebMessageAsString)(LPWSTR* text) = 0;
};

struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {
  VESK_WV2_METHOD(get_IsSuccess)(BOOL* success) = 0;
  VESK_WV2_METHOD(get_WebErrorStatus)(COREWEBVIEW2_WEB_ERROR_STATUS* status) = 0;
  VESK_WV2_METHOD(get_NavigationId)(UINT64* id) = 0;
};

struct ICoreWebView2AcceleratorKeyPressedEventArgs : IUnknown {
  VESK_WV2_METHOD(get_KeyEventKind)(COREWEBVIEW2_KEY_EVENT_KIND* kind) = 0;
  VESK_WV2_METHOD(get_VirtualKey)(UINT* key) = 0;
  VESK_WV2_METHOD(get_KeyEventLParam)(INT* lparam) = 0;
  VESK_WV2_METHOD(get_PhysicalKeyStatus)(COREWEBVIEW2_PHYSICAL_KEY_STATUS* status) = 0;
  VESK_WV2_METHOD(get_Handled)(BOOL* handled) = 0;
  VESK_WV2_METHOD(put_Handled)(BOOL handled) = 0;
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
  VESK_WV2_METHOD(get_Uri)(LPWSTR* uri) = 0;
  VESK_WV2_METHOD(get_IsUserInitiated)(BOOL* user_initiated) = 0;
  VESK_WV2_METHOD(get_IsRedirected)(BOOL* redirected) = 0;
  VESK_WV2_METHOD(get_RequestHeaders)(ICoreWebView2HttpRequestHeaders** headers) = 0;
  VESK_WV2_METHOD(get_Cancel)(BOOL* cancel) = 0;
  VESK_WV2_METHOD(put_Cancel)(BOOL cancel) = 0;
  VESK_WV2_METHOD(get_NavigationId)(UINT64* id) = 0;
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  VESK_WV2_METHOD(get_Uri)(LPWSTR* uri) = 0;
  VESK_WV2_METHOD(put_NewWindow)(ICoreWebView2* new_window) = 0;
  VESK_WV2_METHOD(get_NewWindow)(ICoreWebView2** new_window) = 0;
  VESK_WV2_METHOD(put_Handled)(BOOL handled) = 0;
  VESK_WV2_METHOD(get_Handled)(BOOL* handled) = 0;
  VESK_WV2_METHOD(get_IsUserInitiated)(BOOL* user_initiated) = 0;
  VESK_WV2_METHOD(GetDeferral)(ICoreWebView2Deferral** deferral) = 0;
  VESK_WV2_METHOD(get_WindowFeatures)(ICoreWebView2WindowFeatures** features) = 0;
};

// --- handlers (implemented by the caller) ---------------------------------------------

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(HRESULT result, ICoreWebView2Environment* environment) = 0;
};
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(HRESULT result, ICoreWebView2Controller* controller) = 0;
};
struct ICoreWebView2WebMessageReceivedEventHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) = 0;
};
struct ICoreWebView2NavigationCompletedEventHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};
struct ICoreWebView2AcceleratorKeyPressedEventHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(ICoreWebView2Controller* sender,
                          ICoreWebView2AcceleratorKeyPressedEventArgs* args) = 0;
};
struct ICoreWebView2NavigationStartingEventHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) = 0;
};
struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};
struct ICoreWebView2ExecuteScriptCompletedHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(HRESULT result, LPCWSTR json) = 0;
};
struct ICoreWebView2CapturePreviewCompletedHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(HRESULT result) = 0;
};
struct ICoreWebView2PrintToPdfCompletedHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(HRESULT result, BOOL printed) = 0;
};
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler : IUnknown {
  VESK_WV2_METHOD(Invoke)(HRESULT result, LPCWSTR id) = 0;
};

#undef VESK_WV2_METHOD

#endif  // own declarations

// --- interface identifiers, reachable through __uuidof as with the SDK -----------------
// Each identifier is written once, as the hex digits of its groups, and becomes
// what the compiler reads: __declspec(uuid("...")) for Microsoft's compiler
// (a redeclaration that must agree with the official header's, when that is
// used) and mingw-w64's __CRT_UUID_DECL for g++, whichever declarations it
// compiles. webview2_abi_test (tests/win) checks them against the official header.
#if defined(_MSC_VER)
#define VESK_WV2_IID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  struct __declspec(uuid(#l "-" #w1 "-" #w2 "-" #b1 #b2 "-" #b3 #b4 #b5 #b6 #b7 #b8)) type;
#else
#define VESK_WV2_IID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                         \
  __CRT_UUID_DECL(type, 0x##l, 0x##w1, 0x##w2, 0x##b1, 0x##b2, 0x##b3, 0x##b4, 0x##b5, 0x##b6, \
                  0x##b7, 0x##b8)
#endif

VESK_WV2_IID(ICoreWebView2Environment, b96d755e, 0319, 4e92, a2, 96, 23, 43, 6f, 46, a1, fc)
VESK_WV2_IID(ICoreWebView2Environment2, 41f3632b, 5ef4, 404f, ad, 82, 2d, 60, 6c, 5a, 9a, 21)
VESK_WV2_IID(ICoreWebView2Environment3, 80a22ae3, be7c, 4ce2, af, e1, 5a, 50, 05, 6c, de, eb)
VESK_WV2_IID(ICoreWebView2Environment4, 20944379, 6dcf, 41d6, a0, a0, ab, c0, fc, 50, de, 0d)
VESK_WV2_IID(ICoreWebView2Environment5, 319e423d, e0d7, 4b8d, 92, 54, ae, 94, 75, de, 9b, 17)
VESK_WV2_IID(ICoreWebView2Environment6, e59ee362, acbd, 4857, 9a, 8e, d3, 64, 4d, 94, 59, a9)
VESK_WV2_IID(ICoreWebView2Controller, 4d00c0d1, 9434, 4eb6, 80, 78, 86, 97, a5, 60, 33, 4f)
VESK_WV2_IID(ICoreWebView2Controller2, c979903e, d4ca, 4228, 92, eb, 47, ee, 3f, a9, 6e, ab)
VESK_WV2_IID(ICoreWebView2Controller3, f9614724, 5d2b, 41dc, ae, f7, 73, d6, 2b, 51, 54, 3b)
VESK_WV2_IID(ICoreWebView2Controller4, 97d418d5, a426, 4e49, a1, 51, e1, a1, 0f, 32, 7d, 9e)
VESK_WV2_IID(ICoreWebView2, 76eceacb, 0462, 4d94, ac, 83, 42, 3a, 67, 93, 77, 5e)
VESK_WV2_IID(ICoreWebView2_2, 9e8f0cf8, e670, 4b5e, b2, bc, 73, e0, 61, e3, 18, 4c)
VESK_WV2_IID(ICoreWebView2_3, a0d6df20, 3b92, 416d, aa, 0c, 43, 7a, 9c, 72, 78, 57)
VESK_WV2_IID(ICoreWebView2_4, 20d02d59, 6df2, 42dc, bd, 06, f9, 8a, 69, 4b, 13, 02)
VESK_WV2_IID(ICoreWebView2_5, bedb11b8, d63c, 11eb, b8, bc, 02, 42, ac, 13, 00, 03)
VESK_WV2_IID(ICoreWebView2_6, 499aadac, d92c, 4589, 8a, 75, 11, 1b, fc, 16, 77, 95)
VESK_WV2_IID(ICoreWebView2_7, 79c24d83, 09a3, 45ae, 94, 18, 48, 7f, 32, a5, 87, 40)
VESK_WV2_IID(ICoreWebView2Settings, e562e4f0, d7fa, 43ac, 8d, 71, c0, 51, 50, 49, 9f, 00)
VESK_WV2_IID(ICoreWebView2Settings2, ee9a0f68, f46c, 4e32, ac, 23, ef, 8c, ac, 22, 4d, 2a)
VESK_WV2_IID(ICoreWebView2Settings3, fdb5ab74, af33, 4854, 84, f0, 0a, 63, 1d, eb, 5e, ba)
VESK_WV2_IID(ICoreWebView2PrintSettings, 377f3721, c74e, 48ca, 8d, b1, df, 68, e5, 1d, 60, e2)
VESK_WV2_IID(ICoreWebView2WebMessageReceivedEventArgs, 0f99a40c, e962, 4207, 9e, 92, e3, d5, 42, ef, f8, 49)
VESK_WV2_IID(ICoreWebView2NavigationCompletedEventArgs, 30d68b7d, 20d9, 4752, a9, ca, ec, 84, 48, fb, b5, c1)
VESK_WV2_IID(ICoreWebView2AcceleratorKeyPressedEventArgs, 9f760f8a, fb79, 42be, 99, 90,
             7b, 56, 90, 0f, a9, c7)
// The navigation and new-window events are not in our facts sheet; their
// IIDs and slot order were read from two public bindings of the same SDK
// (an AutoHotkey binding calling every method by vtable index, and a
// C++Builder translation of WebView2.h), which agree with each other.
VESK_WV2_IID(ICoreWebView2NavigationStartingEventArgs, 5b495469, e119, 438a, 9b, 18, 76, 04, f2, 5f, 2e, 49)
VESK_WV2_IID(ICoreWebView2NewWindowRequestedEventArgs, 34acb11c, fc37, 4418, 91, 32, f9, c2, 1d, 1e, af, b9)
VESK_WV2_IID(ICoreWebView2NavigationStartingEventHandler, 9adbe429, f36d, 432b, 9d, dc,
             f8, 88, 1f, bd, 76, e3)
VESK_WV2_IID(ICoreWebView2NewWindowRequestedEventHandler, d4c185fe, c81c, 4989, 97, af,
             2d, 3f, a7, ab, 56, 51)
VESK_WV2_IID(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, 4e8a3389, c9d8, 4bd2, b6, b5,
             12, 4f, ee, 6c, c1, 4d)
VESK_WV2_IID(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, 6c4819f3, c9b7, 4260, 81, 27,
             c9, f5, bd, e7, f6, 8c)
VESK_WV2_IID(ICoreWebView2WebMessageReceivedEventHandler, 57213f19, 00e6, 49fa, 8e, 07,
             89, 8e, a0, 1e, cb, d2)
VESK_WV2_IID(ICoreWebView2NavigationCompletedEventHandler, d33a35bf, 1c49, 4f98, 93, ab,
             00, 6e, 05, 33, fe, 1c)
VESK_WV2_IID(ICoreWebView2AcceleratorKeyPressedEventHandler, b29c7e28, fa79, 41a8, 8e, 44,
             65, 81, 1c, 76, dc, b2)
VESK_WV2_IID(ICoreWebView2ExecuteScriptCompletedHandler, 49511172, cc67, 4bca, 99, 23, 13, 71, 12, f4, c4, cc)
VESK_WV2_IID(ICoreWebView2CapturePreviewCompletedHandler, 697e05e9, 3d8f, 45fa, 96, f4,
             8f, fe, 1e, de, da, f5)
VESK_WV2_IID(ICoreWebView2PrintToPdfCompletedHandler, ccf1ef04, fd8e, 4d5f, b2, de, 09, 83, e4, 1b, 8c, 36)
VESK_WV2_IID(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, b99369f3, 9b11, 47b5, bc, 6f,
             8e, 78, 95, fc, ea, 17)

#undef VESK_WV2_IID

// The loader's two exports, looked up by name at run time.
using CreateCoreWebView2EnvironmentWithOptionsFunction = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browser_folder, PCWSTR user_data_folder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
using GetAvailableCoreWebView2BrowserVersionStringFunction =
    HRESULT(STDAPICALLTYPE*)(PCWSTR browser_folder, LPWSTR* version);
