// A small HTTP/1.1 server on 127.0.0.1 inside the test process, with
// scripted answers per request target, so the updater's WinHTTP code talks
// to a real socket.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vesk::testing {

struct TestResponse {
  int status = 200;
  std::string body;
  bool content_length = true;  // without it the body ends when the server closes
  std::size_t chunk = 0;       // bytes per send, 0 for the whole body at once
  int chunk_delay_ms = 0;      // pause after each chunk
};

class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  bool listening() const { return listener_ != INVALID_SOCKET; }
  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + target.
  std::wstring url(std::string_view target) const;

  // Answers for `target` (path and query), used in order; the last repeats.
  // Targets without answers get 404.
  void route(const std::string& target, std::vector<TestResponse> responses);
  int hits(const std::string& target) const;
  // Request lines as received, e.g. "GET /m.json?x=1 HTTP/1.1".
  std::vector<std::string> requests() const;
  // Headers of the last request, lower-cased names.
  std::string last_header(const std::string& name) const;

 private:
  void serve();
  void answer(SOCKET client);

  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<TestResponse>> routes_;
  std::map<std::string, int> hits_;
  std::vector<std::string> requests_;
  std::map<std::string, std::string> last_headers_;
  std::vector<std::thread> clients_;
  std::thread thread_;
};

}  // namespace vesk::testing
