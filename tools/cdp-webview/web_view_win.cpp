#include "web_view_win.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/json.h"
#include "devtools_protocol.h"
#include "event_registrations_win.h"
#include "print_settings_win.h"
#include "settings_win.h"
#include "webview_support_win.h"

namespace vesk::cdp {
namespace {

bool write_file(LPCWSTR path, const std::vector<unsigned char>& bytes) {
  win::UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

class WebView final : public ICoreWebView2_7, public RefCounted {
 public:
  explicit WebView(std::shared_ptr<PageSession> session)
      : session_(std::move(session)), settings_(new_settings()) {
    session_->web_view = this;
  }
  ~WebView() override {
    if (session_->web_view == this) session_->web_view = nullptr;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2), __uuidof(ICoreWebView2_2), __uuidof(ICoreWebView2_3),
                               __uuidof(ICoreWebView2_4), __uuidof(ICoreWebView2_5), __uuidof(ICoreWebView2_6),
                               __uuidof(ICoreWebView2_7)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
    if (!settings) return E_POINTER;
    *settings = ComPtr<ICoreWebView2Settings>::retain(settings_.get()).detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override { return copy_out(session_->source, uri); }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override { return session_->navigate(uri); }

  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* handler,
                                                    EventRegistrationToken* token) override {
    return session_->navigation_handlers.add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) override {
    session_->navigation_handlers.remove(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return session_->message_handlers.add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override {
    session_->message_handlers.remove(token);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!script) return E_INVALIDARG;
    std::string params = "{\"source\":";
    append_json_quoted(to_utf8(script), params);
    params += '}';
    auto hold = ComPtr<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>::retain(handler);
    session_->send("Page.addScriptToEvaluateOnNewDocument", std::move(params), [hold](CdpMessage& reply) {
      if (!hold) return;
      const std::wstring id = to_utf16(reply.body.get_string("identifier", ""));
      hold->Invoke(reply.failed ? E_FAIL : S_OK, reply.failed ? nullptr : id.c_str());
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) override {
    if (session_->closed) return kClosed;
    if (!id) return E_INVALIDARG;
    std::string params = "{\"identifier\":";
    append_json_quoted(to_utf8(id), params);
    params += '}';
    session_->send("Page.removeScriptToEvaluateOnNewDocument", std::move(params));
    return S_OK;
  }

  // Every script goes down the one session in submission order, which the
  // browser keeps; nothing waits for a script before sending the next.
  HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!script) return E_INVALIDARG;
    // Converted and quoted on the writer thread: a document in pieces is
    // megabytes of script, and the caller's thread has better things to do.
    std::wstring text = script;
    std::weak_ptr<PageSession> weak = session_;
    if (!handler) {
      session_->run_script([weak, text = std::move(text)]() mutable {
        if (auto session = weak.lock()) {
          session->send("Runtime.evaluate",
                        CdpConnection::Params([text = std::move(text)] { return evaluate_params(to_utf8(text)); }));
        }
      });
      return S_OK;
    }
    auto hold = ComPtr<ICoreWebView2ExecuteScriptCompletedHandler>::retain(handler);
    session_->run_script([weak, hold, text = std::move(text)]() mutable {
      auto session = weak.lock();
      if (!session) return;
      CdpConnection::Params params = [text = std::move(text)] { return evaluate_for_json_params(to_utf8(text)); };
      session->send("Runtime.evaluate", std::move(params), [hold](CdpMessage& reply) {
        const JsonValue* result = reply.body.find("result");
        if (reply.failed || !result || !result->is_object() || !result->find("value")) {
          hold->Invoke(E_FAIL, L"null");
          return;
        }
        const std::wstring json = to_utf16(result->get_string("value", "null"));
        hold->Invoke(S_OK, json.c_str());
      });
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    if (session_->closed) return kClosed;
    if (!json) return E_INVALIDARG;
    const std::string text = to_utf8(json);
    JsonValue check;
    if (!parse_json(text, check)) return E_INVALIDARG;
    // JSON.parse of the text as a string, not the text as a literal: a key
    // "__proto__" must arrive as a key.
    std::string script = "(function(){var w=window.chrome&&window.chrome.webview;"
                         "if(w&&w.__deliver)w.__deliver(JSON.parse(";
    append_json_quoted(text, script);
    script += "));})()";
    std::weak_ptr<PageSession> weak = session_;
    session_->late_messages.post(std::move(script), [weak](const std::string& held) {
      if (auto session = weak.lock(); session && !session->closed) {
        session->send("Runtime.evaluate", evaluate_params(held));
      }
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR text) override {
    if (!text) return E_INVALIDARG;
    return PostWebMessageAsJson(to_utf16(json_quote(to_utf8(text))).c_str());
  }

  HRESULT STDMETHODCALLTYPE CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT format, IStream* stream,
                                           ICoreWebView2CapturePreviewCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!stream) return E_INVALIDARG;
    auto hold_stream = ComPtr<IStream>::retain(stream);
    auto hold = ComPtr<ICoreWebView2CapturePreviewCompletedHandler>::retain(handler);
    const char* params = format == COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG ? R"({"format":"jpeg"})"
                                                                                   : R"({"format":"png"})";
    session_->send("Page.captureScreenshot", params, [hold_stream, hold](CdpMessage& reply) mutable {
      HRESULT result = E_FAIL;
      if (!reply.failed) {
        const std::vector<unsigned char> image = decode_base64(reply.body.get_string("data", ""));
        ULONG written = 0;
        if (!image.empty() &&
            SUCCEEDED(hold_stream->Write(image.data(), static_cast<ULONG>(image.size()), &written)) &&
            written == image.size()) {
          result = S_OK;
        }
      }
      // The caller reads the file once told: let it go first.
      hold_stream.reset();
      if (hold) hold->Invoke(result);
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE PrintToPdf(LPCWSTR path, ICoreWebView2PrintSettings* settings,
                                       ICoreWebView2PrintToPdfCompletedHandler* handler) override {
    if (session_->closed) return kClosed;
    if (!path || !*path) return E_INVALIDARG;
    auto hold = ComPtr<ICoreWebView2PrintToPdfCompletedHandler>::retain(handler);
    if (session_->printing) {
      // As documented: the handler runs at once, unsuccessful.
      if (hold) hold->Invoke(S_OK, FALSE);
      return S_OK;
    }
    session_->printing = true;
    const std::wstring target = path;
    std::weak_ptr<PageSession> weak = session_;
    session_->send(
        "Page.printToPDF", print_to_pdf_params(print_options_from(settings)),
        [hold, target, weak](CdpMessage& reply) {
          if (auto session = weak.lock()) session->printing = false;
          bool printed = false;
          if (!reply.failed) printed = write_file(target.c_str(), decode_base64(reply.body.get_string("data", "")));
          if (hold) hold->Invoke(reply.failed ? E_FAIL : S_OK, printed ? TRUE : FALSE);
        },
        std::chrono::minutes(2));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Reload() override {
    if (session_->closed) return kClosed;
    session_->send("Page.reload", "{}");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    if (session_->closed) return kClosed;
    session_->send("Page.stopLoading", "{}");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* id) override {
    if (!id) return E_POINTER;
    *id = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override { return copy_out(L"", title); }

  // What the web host never calls.
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return session_->navigation_events.add_starting(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken token) override {
    session_->navigation_events.remove_starting(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return session_->navigation_events.add_new_window(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) override {
    session_->navigation_events.remove_new_window(token);
    return S_OK;
  }
#define VESK_NO_EVENT(Name, Handler)                                                                    \
  HRESULT STDMETHODCALLTYPE add_##Name(Handler*, EventRegistrationToken* token) override {              \
    if (!token) return E_POINTER;                                                                       \
    token->value = next_token();                                                                        \
    return S_OK;                                                                                        \
  }                                                                                                     \
  HRESULT STDMETHODCALLTYPE remove_##Name(EventRegistrationToken) override { return S_OK; }
  VESK_NO_EVENT(ContentLoading, ICoreWebView2ContentLoadingEventHandler)
  VESK_NO_EVENT(SourceChanged, ICoreWebView2SourceChangedEventHandler)
  VESK_NO_EVENT(HistoryChanged, ICoreWebView2HistoryChangedEventHandler)
  VESK_NO_EVENT(FrameNavigationStarting, ICoreWebView2NavigationStartingEventHandler)
  VESK_NO_EVENT(FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler)
  VESK_NO_EVENT(ScriptDialogOpening, ICoreWebView2ScriptDialogOpeningEventHandler)
  VESK_NO_EVENT(PermissionRequested, ICoreWebView2PermissionRequestedEventHandler)
  VESK_NO_EVENT(ProcessFailed, ICoreWebView2ProcessFailedEventHandler)
  VESK_NO_EVENT(DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler)
  VESK_NO_EVENT(ContainsFullScreenElementChanged, ICoreWebView2ContainsFullScreenElementChangedEventHandler)
  VESK_NO_EVENT(WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler)
  VESK_NO_EVENT(WindowCloseRequested, ICoreWebView2WindowCloseRequestedEventHandler)
  VESK_NO_EVENT(WebResourceResponseReceived, ICoreWebView2WebResourceResponseReceivedEventHandler)
  VESK_NO_EVENT(DOMContentLoaded, ICoreWebView2DOMContentLoadedEventHandler)
  VESK_NO_EVENT(FrameCreated, ICoreWebView2FrameCreatedEventHandler)
  VESK_NO_EVENT(DownloadStarting, ICoreWebView2DownloadStartingEventHandler)
  VESK_NO_EVENT(ClientCertificateRequested, ICoreWebView2ClientCertificateRequestedEventHandler)
#undef VESK_NO_EVENT
  HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(LPCWSTR, LPCWSTR,
                                                       ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* can) override {
    if (!can) return E_POINTER;
    *can = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* can) override { return get_CanGoBack(can); }
  HRESULT STDMETHODCALLTYPE GoBack() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoForward() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* contains) override { return get_CanGoBack(contains); }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TrySuspend(ICoreWebView2TrySuspendCompletedHandler*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resume() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_IsSuspended(BOOL* suspended) override { return get_CanGoBack(suspended); }
  HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(LPCWSTR, LPCWSTR,
                                                              COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ClearVirtualHostNameToFolderMapping(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenTaskManagerWindow() override { return E_NOTIMPL; }

 private:
  std::shared_ptr<PageSession> session_;
  ComPtr<ICoreWebView2Settings> settings_;
};

}  // namespace

ICoreWebView2* new_web_view(std::shared_ptr<PageSession> session) { return new WebView(std::move(session)); }

}  // namespace vesk::cdp
