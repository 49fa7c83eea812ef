// Small RAII holders for COM interface pointers and kernel handles, so that
// every early return releases what was acquired, exactly once.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <utility>

namespace vesk::win {

// Owns one reference to a COM interface. Copying adds a reference, moving
// transfers it; the destructor releases it.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes an additional reference to a pointer someone else owns.
  static ComPtr retain(T* borrowed) {
    if (borrowed) borrowed->AddRef();
    return ComPtr(borrowed);
  }

  void reset() {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For out-parameters: releases the current pointer first.
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  T* detach() { return std::exchange(ptr_, nullptr); }

 private:
  T* ptr_ = nullptr;
};

// Owns a kernel HANDLE closed with CloseHandle. INVALID_HANDLE_VALUE and null
// both mean "none".
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    HANDLE old = std::exchange(handle_, handle);
    if (old != nullptr && old != INVALID_HANDLE_VALUE) CloseHandle(old);
  }

 private:
  HANDLE handle_ = nullptr;
};

// Text from the shell allocated with CoTaskMemAlloc.
class CoTaskText {
 public:
  CoTaskText() = default;
  CoTaskText(const CoTaskText&) = delete;
  CoTaskText& operator=(const CoTaskText&) = delete;
  ~CoTaskText() { CoTaskMemFree(text_); }
  PWSTR* put() {
    CoTaskMemFree(text_);
    text_ = nullptr;
    return &text_;
  }
  const wchar_t* get() const { return text_; }

 private:
  PWSTR text_ = nullptr;
};

}  // namespace vesk::win
