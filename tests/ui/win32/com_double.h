#pragma once
#include <atomic>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win32/webview2.h"

// Reference counting and QueryInterface for the tests' doubles of SDK interfaces.
namespace corvane::test {

// A COM object over `Stub` (a generated stub of one interface chain) that answers IUnknown and
// the interface ids it is given. Created with one reference, which the creator owns.
template <class Stub>
class ComDouble : public Stub {
 public:
  explicit ComDouble(std::initializer_list<IID> iids) : iids_(iids) {}
  virtual ~ComDouble() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    bool known = IsEqualIID(riid, IID_IUnknown);
    for (const IID& iid : iids_) known = known || IsEqualIID(riid, iid);
    if (!known) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<Stub*>(this);
    this->AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  ULONG references() const { return refs_.load(); }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<IID> iids_;
};

// A string as a COM call returns it: CoTaskMemAlloc'd, for the caller to free.
inline HRESULT co_task_copy(std::wstring_view text, LPWSTR* out) {
  if (!out) return E_POINTER;
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!copy) return E_OUTOFMEMORY;
  text.copy(copy, text.size());
  copy[text.size()] = L'\0';
  *out = copy;
  return S_OK;
}

}  // namespace corvane::test
