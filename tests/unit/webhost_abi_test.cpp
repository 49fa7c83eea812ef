// The vtable slot of every WebView2 method we call (or, in the Chromium-backed
// control, implement for callers), checked against the published order. A
// missing, extra or reordered declaration anywhere up a chain moves the
// methods after it, which on real Windows calls the wrong function.
#include "webhost/webview2_api.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/unit/vtable_slot.h"

namespace {

struct Slot {
  const char* method;
  std::intptr_t actual;
  std::intptr_t published;
};

#define SLOT(Interface, Method, expected) Slot{#Interface "::" #Method, vtable_slot(&Interface::Method), expected}

TEST(WebView2Abi, SlotsOfEveryMethodWeUse) {
  const Slot slots[] = {
      SLOT(ICoreWebView2Environment, CreateCoreWebView2Controller, 3),
      SLOT(ICoreWebView2Environment, get_BrowserVersionString, 5),
      SLOT(ICoreWebView2Environment6, CreatePrintSettings, 14),
      SLOT(ICoreWebView2Controller, put_IsVisible, 4),
      SLOT(ICoreWebView2Controller, put_Bounds, 6),
      SLOT(ICoreWebView2Controller, MoveFocus, 12),
      SLOT(ICoreWebView2Controller, add_AcceleratorKeyPressed, 19),
      SLOT(ICoreWebView2Controller, remove_AcceleratorKeyPressed, 20),
      SLOT(ICoreWebView2Controller, Close, 24),
      SLOT(ICoreWebView2Controller, get_CoreWebView2, 25),
      SLOT(ICoreWebView2Controller4, put_AllowExternalDrop, 37),
      SLOT(ICoreWebView2, get_Settings, 3),
      SLOT(ICoreWebView2, get_Source, 4),
      SLOT(ICoreWebView2, Navigate, 5),
      SLOT(ICoreWebView2, add_NavigationStarting, 7),
      SLOT(ICoreWebView2, remove_NavigationStarting, 8),
      SLOT(ICoreWebView2, add_NavigationCompleted, 15),
      SLOT(ICoreWebView2, AddScriptToExecuteOnDocumentCreated, 27),
      SLOT(ICoreWebView2, ExecuteScript, 29),
      SLOT(ICoreWebView2, CapturePreview, 30),
      SLOT(ICoreWebView2, PostWebMessageAsJson, 32),
      SLOT(ICoreWebView2, add_WebMessageReceived, 34),
      SLOT(ICoreWebView2, add_NewWindowRequested, 44),
      SLOT(ICoreWebView2, remove_NewWindowRequested, 45),
      SLOT(ICoreWebView2, remove_WindowCloseRequested, 60),
      SLOT(ICoreWebView2_2, get_Environment, 67),
      SLOT(ICoreWebView2_7, PrintToPdf, 80),
      SLOT(ICoreWebView2Settings, put_IsBuiltInErrorPageEnabled, 20),
      SLOT(ICoreWebView2Settings3, put_AreBrowserAcceleratorKeysEnabled, 24),
      SLOT(ICoreWebView2PrintSettings, put_ScaleFactor, 6),
      SLOT(ICoreWebView2PrintSettings, put_PageWidth, 8),
      SLOT(ICoreWebView2PrintSettings, put_PageHeight, 10),
      SLOT(ICoreWebView2PrintSettings, put_MarginTop, 12),
      SLOT(ICoreWebView2PrintSettings, put_MarginBottom, 14),
      SLOT(ICoreWebView2PrintSettings, put_MarginLeft, 16),
      SLOT(ICoreWebView2PrintSettings, put_MarginRight, 18),
      SLOT(ICoreWebView2PrintSettings, put_ShouldPrintBackgrounds, 20),
      SLOT(ICoreWebView2PrintSettings, put_ShouldPrintHeaderAndFooter, 24),
      SLOT(ICoreWebView2PrintSettings, put_FooterUri, 28),
      SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_Source, 3),
      SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_WebMessageAsJson, 4),
      SLOT(ICoreWebView2NavigationCompletedEventArgs, get_IsSuccess, 3),
      SLOT(ICoreWebView2NavigationCompletedEventArgs, get_WebErrorStatus, 4),
      SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_KeyEventKind, 3),
      SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_VirtualKey, 4),
      SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, put_Handled, 8),
      SLOT(ICoreWebView2NavigationStartingEventArgs, get_Uri, 3),
      SLOT(ICoreWebView2NavigationStartingEventArgs, put_Cancel, 8),
      SLOT(ICoreWebView2NavigationStartingEventArgs, get_NavigationId, 9),
      SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Uri, 3),
      SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_Handled, 6),
      SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_IsUserInitiated, 8),
      SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_WindowFeatures, 10),
      SLOT(ICoreWebView2NavigationStartingEventHandler, Invoke, 3),
      SLOT(ICoreWebView2NewWindowRequestedEventHandler, Invoke, 3),
      SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Invoke, 3),
      SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Invoke, 3),
      SLOT(ICoreWebView2WebMessageReceivedEventHandler, Invoke, 3),
      SLOT(ICoreWebView2NavigationCompletedEventHandler, Invoke, 3),
      SLOT(ICoreWebView2AcceleratorKeyPressedEventHandler, Invoke, 3),
      SLOT(ICoreWebView2ExecuteScriptCompletedHandler, Invoke, 3),
      SLOT(ICoreWebView2CapturePreviewCompletedHandler, Invoke, 3),
      SLOT(ICoreWebView2PrintToPdfCompletedHandler, Invoke, 3),
      SLOT(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, Invoke, 3),
  };
  for (const Slot& s : slots) EXPECT_EQ(s.actual, s.published) << s.method;
}

TEST(WebView2Abi, ValueTypes) {
  EXPECT_EQ(sizeof(COREWEBVIEW2_PHYSICAL_KEY_STATUS), 24u);
  EXPECT_EQ(sizeof(COREWEBVIEW2_COLOR), 4u);
  EXPECT_EQ(sizeof(EventRegistrationToken), 8u);
  EXPECT_EQ(sizeof(COREWEBVIEW2_KEY_EVENT_KIND), 4u);
  EXPECT_EQ(sizeof(COREWEBVIEW2_MOVE_FOCUS_REASON), 4u);
  EXPECT_EQ(sizeof(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT), 4u);
  EXPECT_EQ(sizeof(COREWEBVIEW2_WEB_ERROR_STATUS), 4u);
  EXPECT_EQ(COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN, 2);
  EXPECT_EQ(COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED, 14);
}

TEST(WebView2Abi, InterfaceIdentifiers) {
  // Two from each end of the table; the rest were typed from the same source.
  const IID web_view = {0x76eceacb, 0x0462, 0x4d94, {0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e}};
  const IID print = {0x79c24d83, 0x09a3, 0x45ae, {0x94, 0x18, 0x48, 0x7f, 0x32, 0xa5, 0x87, 0x40}};
  const IID accelerator = {0xb29c7e28, 0xfa79, 0x41a8, {0x8e, 0x44, 0x65, 0x81, 0x1c, 0x76, 0xdc, 0xb2}};
  EXPECT_TRUE(IsEqualIID(__uuidof(ICoreWebView2), web_view));
  EXPECT_TRUE(IsEqualIID(__uuidof(ICoreWebView2_7), print));
  EXPECT_TRUE(IsEqualIID(__uuidof(ICoreWebView2AcceleratorKeyPressedEventHandler), accelerator));
  const IID starting = {0x9adbe429, 0xf36d, 0x432b, {0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3}};
  const IID new_window = {0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
  EXPECT_TRUE(IsEqualIID(__uuidof(ICoreWebView2NavigationStartingEventHandler), starting));
  EXPECT_TRUE(IsEqualIID(__uuidof(ICoreWebView2NewWindowRequestedEventHandler), new_window));
}

}  // namespace
