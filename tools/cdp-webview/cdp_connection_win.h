// One WebSocket to the browser's DevTools endpoint on 127.0.0.1, shared by
// every page. Commands go out through a writer thread and replies and events
// come back through a reader thread; both reach their callbacks on the UI
// thread. A command that gets no answer in time fails, and so does every
// command still waiting when the browser goes away, so no caller waits on a
// dead browser.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "devtools_protocol.h"

namespace vesk::cdp {

// The port the harness started the browser with (VESK_CDP_PORT), 0 if none.
int devtools_port();

// GET /json/version on the port, within `timeout_ms`. Bounded, so it may
// run on the UI thread.
bool query_browser(int port, BrowserEndpoint& endpoint, std::string& error, unsigned timeout_ms);

class CdpConnection : public std::enable_shared_from_this<CdpConnection> {
 public:
  using Reply = std::function<void(CdpMessage& reply)>;  // reply.failed on any error
  using EventSink = std::function<void(CdpMessage& event)>;
  // Makes a command's parameters on the writer thread, for commands whose
  // parameters are megabytes of script.
  using Params = std::function<std::string()>;

  // Connects and upgrades; blocks for at most a few seconds, so call it off
  // the UI thread. Null with a reason on failure.
  static std::shared_ptr<CdpConnection> open(int port, std::string& error);

  ~CdpConnection();

  // Any thread. The reply runs on the UI thread; a connection that is gone
  // fails it at once (still later, on the UI thread).
  void send(std::string method, std::string params_json, std::string session_id, Reply reply,
            std::chrono::milliseconds timeout = std::chrono::seconds(30));
  void send(std::string method, Params params, std::string session_id, Reply reply,
            std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // UI thread. Events of one session ("" for the browser's own).
  void subscribe(const std::string& session_id, EventSink sink);
  void unsubscribe(const std::string& session_id);

  bool connected() const;
  void close();

 private:
  struct Pending {
    Reply reply;
    std::chrono::steady_clock::time_point deadline;
  };
  // A command to write, or (with `control` set) a control frame's payload.
  struct Outgoing {
    std::int64_t id = 0;
    std::string method;
    std::string session_id;
    Params params;
    std::string bytes;
    bool control = false;
  };

  explicit CdpConnection(SOCKET socket);
  void start(std::string early_bytes);
  void read_loop(std::string early_bytes);
  void write_loop();
  void deliver(std::string text);
  void fail_everything(const std::string& why);
  void check_deadlines();

  SOCKET socket_;
  mutable std::mutex mutex_;
  std::condition_variable wake_writer_;
  std::deque<Outgoing> outgoing_;
  std::map<std::int64_t, Pending> pending_;
  std::int64_t next_id_ = 1;
  bool closed_ = false;
  std::uint32_t mask_seed_;
  std::map<std::string, EventSink> sinks_;  // UI thread only
};

}  // namespace vesk::cdp
