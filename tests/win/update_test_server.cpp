#include "tests/win/update_test_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace vesk::testing {
namespace {

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

bool send_all(SOCKET socket, const char* data, std::size_t size) {
  while (size > 0) {
    const int sent = ::send(socket, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

TestHttpServer::TestHttpServer() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(listener_);
    listener_ = INVALID_SOCKET;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

TestHttpServer::~TestHttpServer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  for (std::thread& client : clients_) client.join();
  if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
  ::WSACleanup();
}

std::wstring TestHttpServer::url(std::string_view target) const {
  return L"http://127.0.0.1:" + std::to_wstring(port_) + std::wstring(target.begin(), target.end());
}

void TestHttpServer::route(const std::string& target, std::vector<TestResponse> responses) {
  std::lock_guard lock(mutex_);
  routes_[target] = std::move(responses);
  hits_[target] = 0;
}

int TestHttpServer::hits(const std::string& target) const {
  std::lock_guard lock(mutex_);
  const auto it = hits_.find(target);
  return it == hits_.end() ? 0 : it->second;
}

std::vector<std::string> TestHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string TestHttpServer::last_header(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto it = last_headers_.find(name);
  return it == last_headers_.end() ? std::string() : it->second;
}

void TestHttpServer::serve() {
  while (!stop_.load()) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener_, &readable);
    timeval wait{0, 50000};
    if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
    const SOCKET client = ::accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    // One thread per connection, so a slow body does not hold up the next
    // request; all are joined when the server goes.
    clients_.emplace_back([this, client] {
      answer(client);
      ::closesocket(client);
    });
  }
}

void TestHttpServer::answer(SOCKET client) {
  // Bounded waits: a client that stops reading or never closes must not keep
  // the server (and the test) from ending.
  const DWORD timeout_ms = 10000;
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms), sizeof timeout_ms);
  ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout_ms), sizeof timeout_ms);
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    const int received = ::recv(client, buffer, sizeof buffer, 0);
    if (received <= 0) return;
    request.append(buffer, static_cast<std::size_t>(received));
  }
  const std::string line = request.substr(0, request.find("\r\n"));
  const std::size_t first_space = line.find(' ');
  const std::size_t second_space = line.find(' ', first_space + 1);
  const std::string target = line.substr(first_space + 1, second_space - first_space - 1);

  TestResponse response{404, "not found"};
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(line);
    last_headers_.clear();
    for (std::size_t at = request.find("\r\n") + 2; at < request.size();) {
      const std::size_t end = request.find("\r\n", at);
      const std::string header = request.substr(at, end - at);
      at = end + 2;
      const std::size_t colon = header.find(':');
      if (colon == std::string::npos) break;
      std::string name = header.substr(0, colon);
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      last_headers_[name] = header.substr(header.find_first_not_of(' ', colon + 1));
    }
    const auto route = routes_.find(target);
    if (route != routes_.end() && !route->second.empty()) {
      const int hit = hits_[target]++;
      response = route->second[std::min<std::size_t>(static_cast<std::size_t>(hit), route->second.size() - 1)];
    }
  }

  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
  if (response.content_length) head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  head += "Content-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
  if (!send_all(client, head.data(), head.size())) return;
  const std::size_t chunk = response.chunk ? response.chunk : std::max<std::size_t>(response.body.size(), 1);
  for (std::size_t at = 0; at < response.body.size() && !stop_.load(); at += chunk) {
    if (!send_all(client, response.body.data() + at, std::min(chunk, response.body.size() - at))) return;
    if (response.chunk_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(response.chunk_delay_ms));
  }
  ::shutdown(client, SD_SEND);
  // Let the client read everything before the socket closes under it.
  ::recv(client, buffer, sizeof buffer, 0);
}

}  // namespace vesk::testing
