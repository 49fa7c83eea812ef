#include "cdp_connection_win.h"

#include <ws2tcpip.h>

#include <array>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/json.h"
#include "http.h"
#include "ui_thread_win.h"
#include "websocket.h"

namespace vesk::cdp {
namespace {

void start_winsock() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

// Connected socket to 127.0.0.1:port, or INVALID_SOCKET after `timeout_ms`.
SOCKET connect_local(int port, unsigned timeout_ms) {
  start_winsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval wait{static_cast<long>(timeout_ms / 1000), static_cast<long>((timeout_ms % 1000) * 1000)};
  if (select(0, nullptr, &writable, &failed, &wait) != 1 || !FD_ISSET(s, &writable)) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  non_blocking = 0;
  ioctlsocket(s, FIONBIO, &non_blocking);
  BOOL no_delay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  return s;
}

void set_receive_timeout(SOCKET s, unsigned timeout_ms) {
  DWORD value = timeout_ms;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

bool send_all(SOCKET s, std::string_view bytes) {
  while (!bytes.empty()) {
    const int piece = static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 20));
    const int sent = ::send(s, bytes.data(), piece, 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// One blocking receive; empty on close, error or timeout.
std::string receive_some(SOCKET s) {
  char buffer[64 * 1024];
  const int got = recv(s, buffer, sizeof buffer, 0);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

CdpMessage failure(std::string why) {
  CdpMessage message;
  message.failed = true;
  message.error = std::move(why);
  return message;
}

}  // namespace

int devtools_port() {
  wchar_t value[16] = {};
  const DWORD length = GetEnvironmentVariableW(L"VESK_CDP_PORT", value, 16);
  if (length == 0 || length >= 16) return 0;
  const long port = std::wcstol(value, nullptr, 10);
  return port > 0 && port < 65536 ? static_cast<int>(port) : 0;
}

bool query_browser(int port, BrowserEndpoint& endpoint, std::string& error, unsigned timeout_ms) {
  SOCKET s = connect_local(port, timeout_ms);
  if (s == INVALID_SOCKET) {
    error = "no DevTools endpoint on port " + std::to_string(port);
    return false;
  }
  set_receive_timeout(s, timeout_ms);
  const std::string host = "127.0.0.1:" + std::to_string(port);
  HttpResponseReader reader;
  HttpResponseReader::State state = HttpResponseReader::State::Error;
  if (send_all(s, http_get_request(host, "/json/version"))) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    state = HttpResponseReader::State::Incomplete;
    while (state == HttpResponseReader::State::Incomplete && std::chrono::steady_clock::now() < deadline) {
      const std::string bytes = receive_some(s);
      state = bytes.empty() ? reader.finish() : reader.feed(bytes);
    }
  }
  closesocket(s);
  if (state != HttpResponseReader::State::Complete || reader.head().status != 200 ||
      !parse_browser_endpoint(reader.body(), endpoint)) {
    error = "unexpected answer from /json/version";
    return false;
  }
  return true;
}

std::shared_ptr<CdpConnection> CdpConnection::open(int port, std::string& error) {
  BrowserEndpoint endpoint;
  if (!query_browser(port, endpoint, error, 5000)) return nullptr;

  SOCKET s = connect_local(port, 5000);
  if (s == INVALID_SOCKET) {
    error = "cannot connect to the DevTools socket";
    return nullptr;
  }
  set_receive_timeout(s, 5000);
  std::array<unsigned char, 16> nonce{};
  for (auto& byte : nonce) byte = static_cast<unsigned char>(std::rand() ^ GetTickCount());
  const std::string key = encode_base64(nonce.data(), nonce.size());
  std::string received;
  std::size_t head_end = std::string::npos;
  if (send_all(s, websocket_upgrade_request(endpoint.host_and_port, endpoint.path, key))) {
    while (head_end == std::string::npos && received.size() < 64 * 1024) {
      const std::string bytes = receive_some(s);
      if (bytes.empty()) break;
      received += bytes;
      head_end = received.find("\r\n\r\n");
    }
  }
  if (head_end == std::string::npos || !websocket_upgrade_accepted(received.substr(0, head_end + 2), key)) {
    closesocket(s);
    error = "WebSocket upgrade refused";
    return nullptr;
  }
  // From here on the reader blocks for as long as the browser is quiet.
  set_receive_timeout(s, 0);
  std::shared_ptr<CdpConnection> connection(new CdpConnection(s));
  connection->start(received.substr(head_end + 4));
  return connection;
}

CdpConnection::CdpConnection(SOCKET socket)
    : socket_(socket), mask_seed_(GetTickCount() * 2654435761u + 1) {}

CdpConnection::~CdpConnection() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

void CdpConnection::start(std::string early_bytes) {
  // The threads keep the connection alive; they end when the socket does.
  auto self = shared_from_this();
  std::thread([self, early = std::move(early_bytes)]() mutable { self->read_loop(std::move(early)); }).detach();
  std::thread([self] { self->write_loop(); }).detach();
  std::weak_ptr<CdpConnection> weak = self;
  if (UiThread* ui = UiThread::instance()) {
    ui->post([weak] {
      UiThread::instance()->every(200, [weak] {
        if (auto connection = weak.lock()) connection->check_deadlines();
      });
    });
  }
}

bool CdpConnection::connected() const {
  std::lock_guard lock(mutex_);
  return !closed_;
}

void CdpConnection::close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
  }
  shutdown(socket_, SD_BOTH);
  wake_writer_.notify_all();
  fail_everything("connection closed");
}

void CdpConnection::send(std::string method, std::string params_json, std::string session_id, Reply reply,
                         std::chrono::milliseconds timeout) {
  send(std::move(method), Params([params = std::move(params_json)]() mutable { return std::move(params); }),
       std::move(session_id), std::move(reply), timeout);
}

void CdpConnection::send(std::string method, Params params, std::string session_id, Reply reply,
                         std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (closed_) {
    lock.unlock();
    if (reply) {
      UiThread::instance()->post([reply = std::move(reply)]() mutable {
        CdpMessage failed = failure("browser connection is gone");
        reply(failed);
      });
    }
    return;
  }
  const std::int64_t id = next_id_++;
  pending_[id] = Pending{std::move(reply), std::chrono::steady_clock::now() + timeout};
  outgoing_.push_back(Outgoing{id, std::move(method), std::move(session_id), std::move(params), {}, false});
  lock.unlock();
  wake_writer_.notify_one();
}

void CdpConnection::subscribe(const std::string& session_id, EventSink sink) {
  sinks_[session_id] = std::move(sink);
}

void CdpConnection::unsubscribe(const std::string& session_id) { sinks_.erase(session_id); }

void CdpConnection::write_loop() {
  for (;;) {
    Outgoing next;
    {
      std::unique_lock lock(mutex_);
      wake_writer_.wait(lock, [this] { return closed_ || !outgoing_.empty(); });
      if (closed_) return;
      next = std::move(outgoing_.front());
      outgoing_.pop_front();
    }
    mask_seed_ ^= mask_seed_ << 13;
    mask_seed_ ^= mask_seed_ >> 17;
    mask_seed_ ^= mask_seed_ << 5;
    const std::array<std::uint8_t, 4> mask{static_cast<std::uint8_t>(mask_seed_), static_cast<std::uint8_t>(mask_seed_ >> 8),
                                           static_cast<std::uint8_t>(mask_seed_ >> 16),
                                           static_cast<std::uint8_t>(mask_seed_ >> 24)};
    // Building a large command and masking it is real work: it happens here,
    // not on the UI thread that submitted it.
    const std::string frame =
        next.control ? encode_client_frame(Opcode::Pong, next.bytes, mask)
                     : encode_client_frame(Opcode::Text,
                                           cdp_command(next.id, next.method, next.params ? next.params() : std::string(),
                                                       next.session_id),
                                           mask);
    if (!send_all(socket_, frame)) {
      close();
      return;
    }
  }
}

void CdpConnection::read_loop(std::string early_bytes) {
  FrameDecoder decoder;
  decoder.feed(early_bytes);
  for (;;) {
    WebSocketMessage message;
    FrameDecoder::Result result;
    while ((result = decoder.next(message)) == FrameDecoder::Result::Message) {
      switch (message.opcode) {
        case Opcode::Text:
          deliver(std::move(message.payload));
          break;
        case Opcode::Ping: {
          std::lock_guard lock(mutex_);
          outgoing_.push_back(Outgoing{0, {}, {}, nullptr, std::move(message.payload), true});
          wake_writer_.notify_one();
          break;
        }
        case Opcode::Close:
          close();
          return;
        default:
          break;
      }
    }
    if (result == FrameDecoder::Result::Error) break;
    const std::string bytes = receive_some(socket_);
    if (bytes.empty()) break;
    decoder.feed(bytes);
  }
  close();
}

void CdpConnection::deliver(std::string text) {
  CdpMessage message;
  if (!parse_cdp_message(text, message)) return;
  text = {};
  UiThread* ui = UiThread::instance();
  if (!ui) return;
  if (message.id != 0) {
    Reply reply;
    {
      std::lock_guard lock(mutex_);
      auto found = pending_.find(message.id);
      if (found == pending_.end()) return;  // timed out already
      reply = std::move(found->second.reply);
      pending_.erase(found);
    }
    if (!reply) return;
    ui->post([reply = std::move(reply), message = std::move(message)]() mutable { reply(message); });
    return;
  }
  std::weak_ptr<CdpConnection> weak = weak_from_this();
  ui->post([weak, message = std::move(message)]() mutable {
    auto self = weak.lock();
    if (!self) return;
    auto sink = self->sinks_.find(message.session_id);
    if (sink == self->sinks_.end()) return;
    EventSink handle = sink->second;  // a copy: the sink may unsubscribe itself
    handle(message);
  });
}

void CdpConnection::fail_everything(const std::string& why) {
  std::map<std::int64_t, Pending> failed;
  {
    std::lock_guard lock(mutex_);
    failed.swap(pending_);
    outgoing_.clear();
  }
  UiThread* ui = UiThread::instance();
  if (!ui) return;
  for (auto& [id, pending] : failed) {
    if (!pending.reply) continue;
    ui->post([reply = std::move(pending.reply), why]() mutable {
      CdpMessage message = failure(why);
      reply(message);
    });
  }
  // Every session hears that the browser is gone.
  std::weak_ptr<CdpConnection> weak = weak_from_this();
  ui->post([weak] {
    auto self = weak.lock();
    if (!self) return;
    auto sinks = self->sinks_;
    for (auto& [session, sink] : sinks) {
      CdpMessage gone;
      gone.method = "Vesk.disconnected";
      gone.session_id = session;
      sink(gone);
    }
  });
}

void CdpConnection::check_deadlines() {
  const auto now = std::chrono::steady_clock::now();
  std::vector<Reply> expired;
  {
    std::lock_guard lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (it->second.deadline <= now) {
        expired.push_back(std::move(it->second.reply));
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Reply& reply : expired) {
    if (!reply) continue;
    CdpMessage message = failure("no answer from the browser in time");
    reply(message);
  }
}

}  // namespace vesk::cdp
