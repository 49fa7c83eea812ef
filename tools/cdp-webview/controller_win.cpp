#include "controller_win.h"

#include <utility>

#include "control_rules_win.h"
#include "control_windows_win.h"
#include "event_registrations_win.h"
#include "web_view_win.h"
#include "webview_support_win.h"

namespace vesk::cdp {
namespace {

class Controller final : public ICoreWebView2Controller4, public RefCounted {
 public:
  explicit Controller(std::shared_ptr<PageSession> session)
      : session_(std::move(session)), web_view_(new_web_view(session_)), windows_(session_->parent, session_->bounds) {
    session_->controller = this;
  }
  ~Controller() override {
    if (session_->controller == this) session_->controller = nullptr;
    session_->close();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2Controller), __uuidof(ICoreWebView2Controller2),
                               __uuidof(ICoreWebView2Controller3), __uuidof(ICoreWebView2Controller4)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override {
    if (!visible) return E_POINTER;
    *visible = visible_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    visible_ = visible;
    session_->shown = visible != FALSE;
    session_->place_window();
    if (!session_->closed) windows_.show(visible != FALSE);
    return session_->closed ? kClosed : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override {
    if (!bounds) return E_POINTER;
    *bounds = session_->bounds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    if (session_->closed) return kClosed;
    session_->bounds = bounds;
    session_->apply_bounds();
    windows_.move(bounds);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoom) override {
    if (!zoom) return E_POINTER;
    *zoom = 1.0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler*,
                                                  EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double) override { return put_Bounds(bounds); }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    return session_->closed ? kClosed : S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler*,
                                                   EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                                      EventRegistrationToken* token) override {
    return session_->accelerator_handlers.add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) override {
    session_->accelerator_handlers.remove(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parent) override {
    if (!parent) return E_POINTER;
    *parent = session_->parent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parent) override {
    session_->parent = parent;
    windows_.reparent(parent);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close() override {
    const bool was_open = !session_->closed;
    windows_.close();
    session_->close();
    // The real Close waits for the browser and runs the caller's pending
    // window messages meanwhile.
    if (was_open) dispatch_pending_messages();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** web_view) override {
    if (!web_view) return E_POINTER;
    *web_view = nullptr;
    if (session_->closed) return kClosed;
    *web_view = ComPtr<ICoreWebView2>::retain(web_view_.get()).detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor(COREWEBVIEW2_COLOR* color) override {
    if (!color) return E_POINTER;
    *color = {255, 255, 255, 255};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_RasterizationScale(double* scale) override { return get_ZoomFactor(scale); }
  HRESULT STDMETHODCALLTYPE put_RasterizationScale(double) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ShouldDetectMonitorScaleChanges(BOOL* value) override {
    if (!value) return E_POINTER;
    *value = TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE add_RasterizationScaleChanged(ICoreWebView2RasterizationScaleChangedEventHandler*,
                                                          EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_RasterizationScaleChanged(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_BoundsMode(COREWEBVIEW2_BOUNDS_MODE* mode) override {
    if (!mode) return E_POINTER;
    *mode = COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_BoundsMode(COREWEBVIEW2_BOUNDS_MODE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_AllowExternalDrop(BOOL* value) override {
    if (!value) return E_POINTER;
    *value = allow_drop_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AllowExternalDrop(BOOL value) override {
    allow_drop_ = value;
    return S_OK;
  }

 private:
  std::shared_ptr<PageSession> session_;
  ComPtr<ICoreWebView2> web_view_;
  BOOL visible_ = TRUE;
  BOOL allow_drop_ = TRUE;
  ControlWindows windows_;
};

}  // namespace

ICoreWebView2Controller* new_controller(std::shared_ptr<PageSession> session) {
  return new Controller(std::move(session));
}

}  // namespace vesk::cdp
