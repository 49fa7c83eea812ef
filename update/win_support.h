// Small Windows helpers of the updater: owning handles for WinHTTP, the
// registry and CNG, and its log line writer.
#pragma once

#include <windows.h>
#include <winhttp.h>
#include <bcrypt.h>

#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"

#include <string>
#include <string_view>
#include <utility>

namespace vesk::win {

// One owner per handle kind: move-only, closes once, release() hands over.
template <typename Handle, typename Closer, Handle kInvalid = Handle{}>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != kInvalid; }
  Handle release() { return std::exchange(handle_, kInvalid); }
  void reset(Handle handle = kInvalid) {
    if (handle_ != kInvalid) Closer{}(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = kInvalid;
};

struct InternetCloser {
  void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct HashCloser {
  void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};

// CreateFileW's failure value is INVALID_HANDLE_VALUE, not null; a template
// argument cannot hold that pointer, so files have their own small type.
class UniqueFile {
 public:
  UniqueFile() = default;
  explicit UniqueFile(HANDLE handle) : handle_(handle) {}
  ~UniqueFile() { reset(); }
  UniqueFile(UniqueFile&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  UniqueFile& operator=(UniqueFile&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using UniqueInternet = UniqueResource<HINTERNET, InternetCloser>;
using UniqueKey = UniqueResource<HKEY, KeyCloser>;
using UniqueAlgorithm = UniqueResource<BCRYPT_ALG_HANDLE, AlgorithmCloser>;
using UniqueHash = UniqueResource<BCRYPT_HASH_HANDLE, HashCloser>;

// "NATIVE update " + the printf-formatted text, to the debugger and to the
// VESK_LOG file, while VESK_KEYLOG is set; otherwise nothing.
#if defined(__GNUC__)
void update_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
#else
void update_log(_Printf_format_string_ const char* format, ...);
#endif

}  // namespace vesk::win
