#pragma once
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <utility>

#include "ui/win32/com_ptr.h"

// COM objects for the SDK's completion and event handlers: each such interface is IUnknown plus
// one Invoke method, which these objects forward to a C++ callable.
namespace corvane::win32 {

template <class Interface, class... Args>
class Callback final : public Interface {
 public:
  Callback(REFIID iid, std::function<HRESULT(Args...)> fn) : iid_(iid), fn_(std::move(fn)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return fn_(args...); }

 private:
  ~Callback() = default;
  std::atomic<ULONG> refs_{1};
  IID iid_;
  std::function<HRESULT(Args...)> fn_;
};

namespace detail {
template <class Method>
struct CallbackFor;
template <class Interface, class... Args>
struct CallbackFor<HRESULT (Interface::*)(Args...)> {
  using type = Callback<Interface, Args...>;
};
}  // namespace detail

// A new handler object implementing `Interface` (whose interface id is `iid`) with `fn`, which
// takes Invoke's arguments and returns its result. The caller owns the one reference.
template <class Interface, class Fn>
ComPtr<Interface> make_callback(REFIID iid, Fn&& fn) {
  using Impl = typename detail::CallbackFor<decltype(&Interface::Invoke)>::type;
  return ComPtr<Interface>(new Impl(iid, std::forward<Fn>(fn)));
}

}  // namespace corvane::win32
