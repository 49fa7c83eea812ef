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
// Visual Studio reads them from the official header's interface declarations;
// mingw-w64 g++ needs them spelled out, whichever declarations it compiles.
// webview2_abi_test (tests/win) checks them against the official header.
#if !defined(_MSC_VER)

__CRT_UUID_DECL(ICoreWebView2Environment, 0xb96d755e, 0x0319, 0x4e92, 0xa2, 0x96, 0x23, 0x43, 0x6f,
                0x46, 0xa1, 0xfc)
__CRT_UUID_DECL(ICoreWebView2Environment2, 0x41f3632b, 0x5ef4, 0x404f, 0xad, 0x82, 0x2d, 0x60, 0x6c,
                0x5a, 0x9a, 0x21)
__CRT_UUID_DECL(ICoreWebView2Environment3, 0x80a22ae3, 0xbe7c, 0x4ce2, 0xaf, 0xe1, 0x5a, 0x50, 0x05,
                0x6c, 0xde, 0xeb)
__CRT_UUID_DECL(ICoreWebView2Environment4, 0x20944379, 0x6dcf, 0x41d6, 0xa0, 0xa0, 0xab, 0xc0, 0xfc,
                0x50, 0xde, 0x0d)
__CRT_UUID_DECL(ICoreWebView2Environment5, 0x319e423d, 0xe0d7, 0x4b8d, 0x92, 0x54, 0xae, 0x94, 0x75,
                0xde, 0x9b, 0x17)
__CRT_UUID_DECL(ICoreWebView2Environment6, 0xe59ee362, 0xacbd, 0x4857, 0x9a, 0x8e, 0xd3, 0x64, 0x4d,
                0x94, 0x59, 0xa9)
__CRT_UUID_DECL(ICoreWebView2Controller, 0x4d00c0d1, 0x9434, 0x4eb6, 0x80, 0x78, 0x86, 0x97, 0xa5,
                0x60, 0x33, 0x4f)
__CRT_UUID_DECL(ICoreWebView2Controller2, 0xc979903e, 0xd4ca, 0x4228, 0x92, 0xeb, 0x47, 0xee, 0x3f,
                0xa9, 0x6e, 0xab)
__CRT_UUID_DECL(ICoreWebView2Controller3, 0xf9614724, 0x5d2b, 0x41dc, 0xae, 0xf7, 0x73, 0xd6, 0x2b,
                0x51, 0x54, 0x3b)
__CRT_UUID_DECL(ICoreWebView2Controller4, 0x97d418d5, 0xa426, 0x4e49, 0xa1, 0x51, 0xe1, 0xa1, 0x0f,
                0x32, 0x7d, 0x9e)
__CRT_UUID_DECL(ICoreWebView2, 0x76eceacb, 0x0462, 0x4d94, 0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77,
                0x5e)
__CRT_UUID_DECL(ICoreWebView2_2, 0x9e8f0cf8, 0xe670, 0x4b5e, 0xb2, 0xbc, 0x73, 0xe0, 0x61, 0xe3,
                0x18, 0x4c)
__CRT_UUID_DECL(ICoreWebView2_3, 0xa0d6df20, 0x3b92, 0x416d, 0xaa, 0x0c, 0x43, 0x7a, 0x9c, 0x72,
                0x78, 0x57)
__CRT_UUID_DECL(ICoreWebView2_4, 0x20d02d59, 0x6df2, 0x42dc, 0xbd, 0x06, 0xf9, 0x8a, 0x69, 0x4b,
                0x13, 0x02)
__CRT_UUID_DECL(ICoreWebView2_5, 0xbedb11b8, 0xd63c, 0x11eb, 0xb8, 0xbc, 0x02, 0x42, 0xac, 0x13,
                0x00, 0x03)
__CRT_UUID_DECL(ICoreWebView2_6, 0x499aadac, 0xd92c, 0x4589, 0x8a, 0x75, 0x11, 0x1b, 0xfc, 0x16,
                0x77, 0x95)
__CRT_UUID_DECL(ICoreWebView2_7, 0x79c24d83, 0x09a3, 0x45ae, 0x94, 0x18, 0x48, 0x7f, 0x32, 0xa5,
                0x87, 0x40)
__CRT_UUID_DECL(ICoreWebView2Settings, 0xe562e4f0, 0xd7fa, 0x43ac, 0x8d, 0x71, 0xc0, 0x51, 0x50,
                0x49, 0x9f, 0x00)
__CRT_UUID_DECL(ICoreWebView2Settings2, 0xee9a0f68, 0xf46c, 0x4e32, 0xac, 0x23, 0xef, 0x8c, 0xac,
                0x22, 0x4d, 0x2a)
__CRT_UUID_DECL(ICoreWebView2Settings3, 0xfdb5ab74, 0xaf33, 0x4854, 0x84, 0xf0, 0x0a, 0x63, 0x1d,
                0xeb, 0x5e, 0xba)
__CRT_UUID_DECL(ICoreWebView2PrintSettings, 0x377f3721, 0xc74e, 0x48ca, 0x8d, 0xb1, 0xdf, 0x68,
                0xe5, 0x1d, 0x60, 0xe2)
__CRT_UUID_DECL(ICoreWebView2WebMessageReceivedEventArgs, 0x0f99a40c, 0xe962, 0x4207, 0x9e, 0x92,
                0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49)
__CRT_UUID_DECL(ICoreWebView2NavigationCompletedEventArgs, 0x30d68b7d, 0x20d9, 0x4752, 0xa9, 0xca,
                0xec, 0x84, 0x48, 0xfb, 0xb5, 0xc1)
__CRT_UUID_DECL(ICoreWebView2AcceleratorKeyPressedEventArgs, 0x9f760f8a, 0xfb79, 0x42be, 0x99, 0x90,
                0x7b, 0x56, 0x90, 0x0f, 0xa9, 0xc7)
// The navigation and new-window events are not in our facts sheet; their
// IIDs and slot order were read from two public bindings of the same SDK
// (an AutoHotkey binding calling every method by vtable index, and a
// C++Builder translation of WebView2.h), which agree with each other.
__CRT_UUID_DECL(ICoreWebView2NavigationStartingEventArgs, 0x5b495469, 0xe119, 0x438a, 0x9b, 0x18,
                0x76, 0x04, 0xf2, 0x5f, 0x2e, 0x49)
__CRT_UUID_DECL(ICoreWebView2NewWindowRequestedEventArgs, 0x34acb11c, 0xfc37, 0x4418, 0x91, 0x32,
                0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9)
__CRT_UUID_DECL(ICoreWebView2NavigationStartingEventHandler, 0x9adbe429, 0xf36d, 0x432b, 0x9d, 0xdc,
                0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3)
__CRT_UUID_DECL(ICoreWebView2NewWindowRequestedEventHandler, 0xd4c185fe, 0xc81c, 0x4989, 0x97, 0xaf,
                0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51)
__CRT_UUID_DECL(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, 0x4e8a3389, 0xc9d8,
                0x4bd2, 0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d)
__CRT_UUID_DECL(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, 0x6c4819f3, 0xc9b7,
                0x4260, 0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c)
__CRT_UUID_DECL(ICoreWebView2WebMessageReceivedEventHandler, 0x57213f19, 0x00e6, 0x49fa, 0x8e, 0x07,
                0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2)
__CRT_UUID_DECL(ICoreWebView2NavigationCompletedEventHandler, 0xd33a35bf, 0x1c49, 0x4f98, 0x93,
                0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c)
__CRT_UUID_DECL(ICoreWebView2AcceleratorKeyPressedEventHandler, 0xb29c7e28, 0xfa79, 0x41a8, 0x8e,
                0x44, 0x65, 0x81, 0x1c, 0x76, 0xdc, 0xb2)
__CRT_UUID_DECL(ICoreWebView2ExecuteScriptCompletedHandler, 0x49511172, 0xcc67, 0x4bca, 0x99, 0x23,
                0x13, 0x71, 0x12, 0xf4, 0xc4, 0xcc)
__CRT_UUID_DECL(ICoreWebView2CapturePreviewCompletedHandler, 0x697e05e9, 0x3d8f, 0x45fa, 0x96, 0xf4,
                0x8f, 0xfe, 0x1e, 0xde, 0xda, 0xf5)
__CRT_UUID_DECL(ICoreWebView2PrintToPdfCompletedHandler, 0xccf1ef04, 0xfd8e, 0x4d5f, 0xb2, 0xde,
                0x09, 0x83, 0xe4, 0x1b, 0x8c, 0x36)
__CRT_UUID_DECL(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, 0xb99369f3,
                0x9b11, 0x47b5, 0xbc, 0x6f, 0x8e, 0x78, 0x95, 0xfc, 0xea, 0x17)

#endif  // __uuidof for mingw-w64

// The loader's two exports, looked up by name at run time.
using CreateCoreWebView2EnvironmentWithOptionsFunction = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browser_folder, PCWSTR user_data_folder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
using GetAvailableCoreWebView2BrowserVersionStringFunction =
    HRESULT(STDAPICALLTYPE*)(PCWSTR browser_folder, LPWSTR* version);
