// The client side of RFC 6455 as the DevTools endpoint needs it: the opening
// handshake, masked frames out, and frames in (fragmented or not, with the
// control frames in between). No extensions, no subprotocols.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::cdp {

enum class Opcode : std::uint8_t {
  Continuation = 0x0,
  Text = 0x1,
  Binary = 0x2,
  Close = 0x8,
  Ping = 0x9,
  Pong = 0xA,
};

// `key` is the Base64 form of 16 random bytes.
std::string websocket_upgrade_request(std::string_view host_and_port, std::string_view path,
                                      std::string_view key);
// What the server must answer in Sec-WebSocket-Accept for `key`.
std::string websocket_accept_value(std::string_view key);
// The server's answer up to its blank line: a 101 with the right accept value.
bool websocket_upgrade_accepted(std::string_view response_head, std::string_view key);

// One complete frame (FIN set), masked as every client frame must be.
std::string encode_client_frame(Opcode opcode, std::string_view payload,
                                const std::array<std::uint8_t, 4>& mask);

struct WebSocketMessage {
  Opcode opcode = Opcode::Text;
  std::string payload;
};

// Turns the received byte stream back into messages: a text or binary
// message reassembled from its fragments, or one control frame.
class FrameDecoder {
 public:
  enum class Result { NeedMore, Message, Error };

  explicit FrameDecoder(std::size_t max_message = std::size_t{1} << 30) : max_message_(max_message) {}

  void feed(std::string_view bytes);
  // After Error the stream is unusable; error() says why.
  Result next(WebSocketMessage& out);
  const std::string& error() const { return error_; }

 private:
  Result fail(std::string why);

  std::size_t max_message_;
  std::string buffer_;
  std::size_t offset_ = 0;
  bool fragmented_ = false;
  Opcode fragment_opcode_ = Opcode::Text;
  std::string fragments_;
  std::string error_;
};

}  // namespace vesk::cdp
