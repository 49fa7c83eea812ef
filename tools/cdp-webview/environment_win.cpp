#include "environment_win.h"

#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "controller_win.h"
#include "core/json.h"
#include "event_registrations_win.h"
#include "page_session_win.h"
#include "print_settings_win.h"
#include "webview_support_win.h"
#include "wine_paths_win.h"

namespace vesk::cdp {
namespace {

// The page a new controller drives. With a display the browser was started
// as an app window (no tabs or address bar) and that window's page is the
// one to take; otherwise, and for any further controller, a new target.
void with_page_target(const std::shared_ptr<CdpConnection>& connection, std::function<void(std::string)> next) {
  auto create = [connection, next] {
    connection->send("Target.createTarget", R"({"url":"about:blank","newWindow":true})", "",
                     [next](CdpMessage& created) {
                       next(created.failed ? std::string() : created.body.get_string("targetId", ""));
                     });
  };
  if (!visible_browser()) return create();
  connection->send("Target.getTargets", "{}", "", [create, next](CdpMessage& reply) {
    const JsonValue* targets = reply.failed ? nullptr : reply.body.find("targetInfos");
    if (targets && targets->is_array()) {
      for (const auto& target : targets->as_array()) {
        if (target.get_string("type", "") == "page" && !target.get_bool("attached", true)) {
          return next(target.get_string("targetId", ""));
        }
      }
    }
    create();
  });
}

// Puts the page's window inside the host: a title of its own lets us find
// its X window; the caller's first navigation replaces it. A window we
// cannot take in stays where the browser put it, still usable.
void embed_window(const std::shared_ptr<PageSession>& session, std::function<void()> finish) {
  const std::string title = "vesk-cdp-" + session->target_id;
  std::string params = R"({"expression":)";
  std::string expression = "document.title = ";
  append_json_quoted(title, expression);
  append_json_quoted(expression, params);
  params += '}';
  std::weak_ptr<PageSession> weak = session;
  session->send("Runtime.evaluate", std::move(params), [weak, title, finish](CdpMessage&) {
    if (auto self = weak.lock(); self && !self->closed) {
      std::string error;
      self->embedded = EmbeddedBrowserWindow::attach(self->parent, title, self->bounds, self->shown, error);
      if (!self->embedded) {
        const std::string line = "cdp-webview: the editor stays in a window of its own: " + error + "\n";
        OutputDebugStringA(line.c_str());
        std::fputs(line.c_str(), stderr);
      }
    }
    finish();
  });
}

// Brings a new page up: a target of its own, attached as a flat session,
// with lifecycle events, the message binding and the page shim in place
// before the caller's first navigation.
void start_page(std::shared_ptr<PageSession> session, ComPtr<ICoreWebView2Controller> controller,
                ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> handler) {
  auto fail = [handler] { handler->Invoke(E_FAIL, nullptr); };
  with_page_target(
      session->connection, [session, controller, handler, fail](std::string target_id) {
        session->target_id = std::move(target_id);
        if (session->target_id.empty()) return fail();
        std::string params = "{\"targetId\":";
        append_json_quoted(session->target_id, params);
        params += ",\"flatten\":true}";
        session->connection->send(
            "Target.attachToTarget", std::move(params), "",
            [session, controller, handler, fail](CdpMessage& attached) {
              session->session_id = attached.body.get_string("sessionId", "");
              if (attached.failed || session->session_id.empty()) return fail();
              std::weak_ptr<PageSession> weak = session;
              session->connection->subscribe(session->session_id, [weak](CdpMessage& event) {
                if (auto page = weak.lock()) page->on_event(event);
              });
              std::string binding = R"({"name":)";
              append_json_quoted(kBinding, binding);
              binding += '}';
              std::string shim = R"({"source":)";
              append_json_quoted(page_shim_script(kBinding, drive_roots()), shim);
              shim += '}';
              const std::pair<const char*, std::string> setup[] = {
                  {"Page.enable", "{}"},
                  {"Page.setLifecycleEventsEnabled", R"({"enabled":true})"},
                  {"Runtime.enable", "{}"},
                  {"Runtime.addBinding", binding},
                  // For the page's stop on each accelerator key (path_mapping.h).
                  {"Debugger.enable", "{}"},
                  {"Page.addScriptToEvaluateOnNewDocument", shim},
                  {"Emulation.setFocusEmulationEnabled", R"({"enabled":true})"},
                  {"Fetch.enable", NavigationEvents::fetch_patterns()},
              };
              auto remaining = std::make_shared<int>(static_cast<int>(std::size(setup)));
              auto failed = std::make_shared<bool>(false);
              for (const auto& [method, params] : setup) {
                session->send(method, params, [session, controller, handler, remaining, failed](CdpMessage& reply) {
                  if (*failed) return;
                  if (reply.failed) {
                    *failed = true;
                    handler->Invoke(E_FAIL, nullptr);
                    return;
                  }
                  if (--*remaining > 0) return;
                  auto finish = [session, controller, handler] {
                    session->ready = true;
                    session->apply_bounds();
                    handler->Invoke(S_OK, controller.get());
                  };
                  if (visible_browser()) return embed_window(session, finish);
                  finish();
                });
              }
            });
      });
}

class Environment final : public ICoreWebView2Environment6, public RefCounted {
 public:
  Environment(std::shared_ptr<CdpConnection> connection, std::wstring version)
      : connection_(std::move(connection)), version_(std::move(version)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out,
                              {__uuidof(ICoreWebView2Environment), __uuidof(ICoreWebView2Environment2),
                               __uuidof(ICoreWebView2Environment3), __uuidof(ICoreWebView2Environment4),
                               __uuidof(ICoreWebView2Environment5), __uuidof(ICoreWebView2Environment6)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (!handler) return E_POINTER;
    if (!parent || !IsWindow(parent)) return E_INVALIDARG;
    auto session = std::make_shared<PageSession>();
    session->connection = connection_;
    session->parent = parent;
    GetClientRect(parent, &session->bounds);
    ComPtr<ICoreWebView2Controller> controller(new_controller(session));
    start_page(session, controller,
               ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::retain(handler));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream*, int, LPCWSTR, LPCWSTR,
                                                      ICoreWebView2WebResourceResponse**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* version) override { return copy_out(version_, version); }
  HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(ICoreWebView2NewBrowserVersionAvailableEventHandler*,
                                                           EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CreateWebResourceRequest(LPCWSTR, LPCWSTR, IStream*, LPCWSTR,
                                                     ICoreWebView2WebResourceRequest**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2CompositionController(
      HWND, ICoreWebView2CreateCoreWebView2CompositionControllerCompletedHandler*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2PointerInfo(ICoreWebView2PointerInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAutomationProviderForWindow(HWND, IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE add_BrowserProcessExited(ICoreWebView2BrowserProcessExitedEventHandler*,
                                                     EventRegistrationToken* token) override {
    return register_no_event(token);
  }
  HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited(EventRegistrationToken) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CreatePrintSettings(ICoreWebView2PrintSettings** settings) override {
    if (!settings) return E_POINTER;
    *settings = new_print_settings();
    return S_OK;
  }

 private:
  std::shared_ptr<CdpConnection> connection_;
  std::wstring version_;
};

}  // namespace

ICoreWebView2Environment* create_environment(std::shared_ptr<CdpConnection> connection,
                                             std::wstring browser_version) {
  return new Environment(std::move(connection), std::move(browser_version));
}

std::wstring version_of(const std::string& browser) {
  const std::size_t slash = browser.find('/');
  return to_utf16(slash == std::string::npos ? browser : browser.substr(slash + 1));
}

}  // namespace vesk::cdp
