// Where the real control is less kind than a straight mapping onto the
// DevTools protocol would be, and our control follows it (README.md says
// what the real one does and where that is written).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vesk::cdp {

// VESK_CDP_LATE_MESSAGES set (not "0"): web messages reach the page late,
// after scripts submitted after them.
bool late_web_messages();

// Web messages held back in that mode. Each is sent once the UI thread's
// message loop turns, so every script the caller submits before then
// overtakes it.
class LateMessages {
 public:
  using Send = std::function<void(const std::string& script)>;
  // Sends at once unless late_web_messages().
  void post(std::string script, Send send);
  void flush();
  void clear() { held_.clear(); }

 private:
  std::vector<std::pair<std::string, Send>> held_;
  bool flush_posted_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Runs the calling thread's pending window messages, as the real Close can
// before it returns. A WM_QUIT found there is put back for the caller's loop.
void dispatch_pending_messages();

}  // namespace vesk::cdp
