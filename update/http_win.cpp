#include "update/http_win.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "update/manifest.h"
#include "update/manifest_check.h"
#include "update/win_support.h"

namespace vesk::win {
namespace {

// One request's handles. Members are declared in opening order so they
// close in reverse: request, connection, session.
struct Request {
  UniqueInternet session;
  UniqueInternet connection;
  UniqueInternet request;
};

struct Timeouts {
  int resolve, connect, send, receive;
};

// Which step of the shared sequence failed; each caller words it its own way.
enum class RequestFailure { None, BadUrl, Session, Connect, OpenRequest, Send, Status, HttpStatus };

RequestFailure open_request(const std::wstring& url, const Timeouts& timeouts, Request& out, DWORD& status,
                            DWORD& last_error) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  // -1 asks for each part as a pointer into `url`; the others stay unrequested.
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return RequestFailure::BadUrl;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

  const std::wstring agent = L"Vesk/" + to_utf16(kAppVersion);
  out.session.reset(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0));
  if (!out.session) return RequestFailure::Session;
  ::WinHttpSetTimeouts(out.session.get(), timeouts.resolve, timeouts.connect, timeouts.send, timeouts.receive);
  out.connection.reset(::WinHttpConnect(out.session.get(), host.c_str(), parts.nPort, 0));
  if (!out.connection) return RequestFailure::Connect;
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  out.request.reset(::WinHttpOpenRequest(out.connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!out.request) return RequestFailure::OpenRequest;
  if (!::WinHttpSendRequest(out.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(out.request.get(), nullptr)) {
    last_error = ::GetLastError();
    return RequestFailure::Send;
  }
  DWORD size = sizeof status;
  if (!::WinHttpQueryHeaders(out.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return RequestFailure::Status;
  }
  return status == 200 ? RequestFailure::None : RequestFailure::HttpStatus;
}

// The body length when the response has one. Wine's WinHTTP does not know
// WINHTTP_QUERY_FLAG_NUMBER64, so the header's text is the fallback.
std::optional<std::int64_t> content_length(HINTERNET request) {
  ULONGLONG length = 0;
  DWORD size = sizeof length;
  if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER64,
                            WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX)) {
    return static_cast<std::int64_t>(length);
  }
  wchar_t text[32] = {};
  size = sizeof text - sizeof(wchar_t);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const wchar_t* digit = text;
  for (; *digit >= L'0' && *digit <= L'9'; ++digit) {
    if (value > (INT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + (*digit - L'0');
  }
  if (digit == text || *digit != L'\0') return std::nullopt;
  return value;
}

std::wstring status_text(DWORD status) { return L"服务器返回 HTTP " + std::to_wstring(status); }

constexpr wchar_t kManifestTooLarge[] = L"更新清单过大（超过 1 MiB），已放弃。";
constexpr wchar_t kPackageTooLarge[] = L"更新包超过清单声明的大小，已停止下载。";

}  // namespace

bool fetch_manifest_text(const std::wstring& url, std::string& body, std::wstring* error) {
  const auto fail = [error](std::wstring text) {
    if (error) *error = std::move(text);
    return false;
  };
  Request request;
  DWORD status = 0;
  DWORD last_error = 0;
  switch (open_request(url, {15000, 15000, 15000, 15000}, request, status, last_error)) {
    case RequestFailure::None: break;
    case RequestFailure::BadUrl: return fail(L"更新地址不合法");
    case RequestFailure::Session: return fail(L"无法初始化网络会话");
    case RequestFailure::Connect: return fail(L"无法连接更新服务器");
    case RequestFailure::OpenRequest: return fail(L"无法创建更新请求");
    case RequestFailure::Send: return fail(L"请求更新清单失败" + std::to_wstring(last_error));
    case RequestFailure::Status: return fail(L"无法读取服务器响应");
    case RequestFailure::HttpStatus: return fail(status_text(status));
  }
  body.clear();
  if (content_length(request.request.get()).value_or(0) > static_cast<std::int64_t>(kManifestMaxBytes)) {
    return fail(kManifestTooLarge);
  }
  std::vector<char> buffer(16384);
  for (;;) {
    DWORD read = 0;
    if (!::WinHttpReadData(request.request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
      return fail(L"读取更新清单失败");
    }
    if (read == 0) return true;
    if (body.size() + read > kManifestMaxBytes) {
      body.clear();
      return fail(kManifestTooLarge);
    }
    body.append(buffer.data(), read);
  }
}

bool download_to_file(const std::wstring& url, const std::wstring& path, DownloadJob& job, bool* retryable) {
  if (retryable) *retryable = false;
  const auto fail = [&job, retryable](std::wstring text, bool may_retry) {
    job.error = std::move(text);
    if (retryable) *retryable = may_retry;
    return false;
  };
  Request request;
  DWORD status = 0;
  DWORD last_error = 0;
  switch (open_request(url, {15000, 15000, 60000, 15000}, request, status, last_error)) {
    case RequestFailure::None: break;
    case RequestFailure::BadUrl: return fail(L"更新地址不合法", false);
    case RequestFailure::Session: return fail(L"无法初始化网络会话", true);
    case RequestFailure::Connect: return fail(L"无法连接更新服务器", true);
    case RequestFailure::OpenRequest: return fail(L"无法创建下载请求", true);
    case RequestFailure::Send: return fail(L"下载请求失败", true);
    case RequestFailure::Status: return fail(L"无法读取服务器响应", true);
    case RequestFailure::HttpStatus: return fail(status_text(status), status >= 500 && status <= 599);
  }

  const std::optional<std::int64_t> length = content_length(request.request.get());
  // Not retryable: the server would only send the same again.
  if (length && exceeds_declared_size(*length, job.declared_size)) return fail(kPackageTooLarge, false);
  if (length) job.total.store(*length);

  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return fail(L"无法写入临时文件", false);
  std::vector<char> buffer(65536);
  for (;;) {
    if (job.cancel.load()) return false;
    DWORD read = 0;
    if (!::WinHttpReadData(request.request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
      return fail(L"下载中断", true);
    }
    if (exceeds_declared_size(job.downloaded.load() + read, job.declared_size)) return fail(kPackageTooLarge, false);
    if (read == 0) {
      // The package is hashed from the disk next; a write that only fails
      // when flushed or closed must fail here, not as a bad hash.
      const bool flushed = ::FlushFileBuffers(file.get()) != 0;
      const bool closed = ::CloseHandle(file.get()) != 0;
      file.release();
      return flushed && closed ? true : fail(L"写入更新包失败", false);
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), buffer.data(), read, &written, nullptr) || written != read) {
      return fail(L"写入更新包失败", false);
    }
    job.downloaded.fetch_add(read);
  }
}

}  // namespace vesk::win
