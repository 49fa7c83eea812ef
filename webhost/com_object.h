// The IUnknown side of the COM objects we implement ourselves: an atomic
// reference count and one template that turns a lambda into any one-method
// WebView2 handler, so each handler is a line at its call site.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <utility>

#include "platform/callback_guard.h"
#include "platform/com.h"

namespace vesk::win {

// Starts at 1: whoever creates the object holds the first reference.
class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;
  virtual ~RefCounted() = default;

 protected:
  ULONG add_reference() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG release_reference() {
    const ULONG left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> count_{1};
};

// Hands out `self` for IUnknown and each listed interface, E_NOINTERFACE
// (and a null pointer) for the rest.
inline HRESULT query_interface_of(IUnknown* self, REFIID wanted, void** out,
                                  std::initializer_list<IID> offered) {
  if (!out) return E_POINTER;
  *out = nullptr;
  bool found = IsEqualIID(wanted, IID_IUnknown);
  for (const IID& iid : offered) found = found || IsEqualIID(wanted, iid);
  if (!found) return E_NOINTERFACE;
  self->AddRef();
  *out = self;
  return S_OK;
}

template <typename Interface, typename Method = decltype(&Interface::Invoke)>
class Callback;

// A handler whose Invoke calls a std::function. Nothing thrown inside may
// cross back into the caller's frames.
template <typename Interface, typename Owner, typename... Args>
class Callback<Interface, HRESULT (Owner::*)(Args...)> final : public Interface, public RefCounted {
 public:
  using Function = std::function<HRESULT(Args...)>;
  explicit Callback(Function function) : function_(std::move(function)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(Interface)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    HRESULT result = S_OK;
    if (!function_ || run_guarded([&] { result = function_(args...); })) return result;
    return E_FAIL;
  }

 private:
  Function function_;
};

template <typename Interface, typename Function>
ComPtr<Interface> make_callback(Function&& function) {
  return ComPtr<Interface>(new Callback<Interface>(std::forward<Function>(function)));
}

}  // namespace vesk::win
