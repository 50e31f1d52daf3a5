#pragma once
#include <unknwn.h>

#include <utility>

// The owner of one counted reference to a COM object.
namespace corvane::win32 {

// Holds one reference and releases it when it goes or is replaced. Move-only: a second owner of
// the same object takes its own reference with share().
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference that the caller owns (as a creating call returns it).
  explicit ComPtr(T* owned) : p_(owned) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  // A new reference to an object that someone else owns (AddRef).
  static ComPtr share(T* p) {
    if (p) p->AddRef();
    return ComPtr(p);
  }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Hands the reference to the caller.
  [[nodiscard]] T* detach() { return std::exchange(p_, nullptr); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // The slot for an out-parameter that returns a new reference; what was held is released first.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // The object's interface `U` (QueryInterface), or null when it does not offer it.
  template <class U>
  ComPtr<U> query(REFIID iid) const {
    ComPtr<U> result;
    if (p_ && FAILED(p_->QueryInterface(iid, result.put_void()))) result.reset();
    return result;
  }

 private:
  T* p_ = nullptr;
};

// Frees a string that a COM call returned (CoTaskMemAlloc) when it goes.
class CoTaskString {
 public:
  CoTaskString() = default;
  CoTaskString(const CoTaskString&) = delete;
  CoTaskString& operator=(const CoTaskString&) = delete;
  ~CoTaskString() { CoTaskMemFree(p_); }
  LPWSTR* put() {
    CoTaskMemFree(std::exchange(p_, nullptr));
    return &p_;
  }
  // The text; empty for a null string.
  const wchar_t* c_str() const { return p_ ? p_ : L""; }
  bool is_null() const { return p_ == nullptr; }

 private:
  LPWSTR p_ = nullptr;
};

}  // namespace corvane::win32
