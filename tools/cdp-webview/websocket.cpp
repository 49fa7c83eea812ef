#include "websocket.h"

#include "core/json.h"
#include "http.h"
#include "sha1.h"

namespace vesk::cdp {

std::string websocket_upgrade_request(std::string_view host_and_port, std::string_view path,
                                      std::string_view key) {
  std::string request = "GET ";
  request.append(path.empty() ? "/" : path).append(" HTTP/1.1\r\n");
  request.append("Host: ").append(host_and_port).append("\r\n");
  request.append("Upgrade: websocket\r\nConnection: Upgrade\r\n");
  request.append("Sec-WebSocket-Key: ").append(key).append("\r\n");
  request.append("Sec-WebSocket-Version: 13\r\n\r\n");
  return request;
}

std::string websocket_accept_value(std::string_view key) {
  std::string text(key);
  text += "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  const auto digest = sha1(text);
  return encode_base64(digest.data(), digest.size());
}

bool websocket_upgrade_accepted(std::string_view response_head, std::string_view key) {
  HttpHead head;
  if (!parse_http_head(response_head, head) || head.status != 101) return false;
  const std::string* accept = head.header("sec-websocket-accept");
  return accept && *accept == websocket_accept_value(key);
}

std::string encode_client_frame(Opcode opcode, std::string_view payload,
                                const std::array<std::uint8_t, 4>& mask) {
  std::string frame;
  frame.reserve(payload.size() + 14);
  frame += static_cast<char>(0x80 | static_cast<std::uint8_t>(opcode));
  const std::uint64_t size = payload.size();
  if (size < 126) {
    frame += static_cast<char>(0x80 | size);
  } else if (size <= 0xFFFF) {
    frame += static_cast<char>(0x80 | 126);
    frame += static_cast<char>(size >> 8);
    frame += static_cast<char>(size & 0xFF);
  } else {
    frame += static_cast<char>(0x80 | 127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((size >> shift) & 0xFF);
  }
  for (std::uint8_t byte : mask) frame += static_cast<char>(byte);
  const std::size_t start = frame.size();
  frame.append(payload);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    frame[start + i] = static_cast<char>(static_cast<std::uint8_t>(frame[start + i]) ^ mask[i % 4]);
  }
  return frame;
}

void FrameDecoder::feed(std::string_view bytes) {
  // Drop what has been read once it is most of the buffer, so a long stream
  // of small messages does not keep every byte it ever received.
  if (offset_ > 0 && offset_ >= buffer_.size() / 2) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  buffer_.append(bytes);
}

FrameDecoder::Result FrameDecoder::fail(std::string why) {
  error_ = std::move(why);
  return Result::Error;
}

FrameDecoder::Result FrameDecoder::next(WebSocketMessage& out) {
  if (!error_.empty()) return Result::Error;
  for (;;) {
    const std::size_t available = buffer_.size() - offset_;
    if (available < 2) return Result::NeedMore;
    const auto* p = reinterpret_cast<const std::uint8_t*>(buffer_.data() + offset_);
    const bool fin = (p[0] & 0x80) != 0;
    if (p[0] & 0x70) return fail("reserved bits set");
    const auto opcode = static_cast<Opcode>(p[0] & 0x0F);
    const bool masked = (p[1] & 0x80) != 0;
    std::uint64_t length = p[1] & 0x7F;
    std::size_t header = 2;
    if (length == 126) {
      if (available < 4) return Result::NeedMore;
      length = (std::uint64_t{p[2]} << 8) | p[3];
      header = 4;
    } else if (length == 127) {
      if (available < 10) return Result::NeedMore;
      length = 0;
      for (int i = 0; i < 8; ++i) length = (length << 8) | p[2 + i];
      header = 10;
    }
    const bool control = (static_cast<std::uint8_t>(opcode) & 0x08) != 0;
    switch (opcode) {
      case Opcode::Continuation: case Opcode::Text: case Opcode::Binary:
      case Opcode::Close: case Opcode::Ping: case Opcode::Pong:
        break;
      default:
        return fail("unknown opcode");
    }
    if (control && (!fin || length > 125)) return fail("malformed control frame");
    if (length > max_message_ || (!control && fragments_.size() + length > max_message_)) {
      return fail("message too large");
    }
    const std::size_t mask_size = masked ? 4 : 0;
    if (available < header + mask_size + length) return Result::NeedMore;

    std::string payload = buffer_.substr(offset_ + header + mask_size, static_cast<std::size_t>(length));
    if (masked) {
      const std::uint8_t* mask = p + header;
      for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(static_cast<std::uint8_t>(payload[i]) ^ mask[i % 4]);
      }
    }
    offset_ += header + mask_size + static_cast<std::size_t>(length);

    if (control) {
      out.opcode = opcode;
      out.payload = std::move(payload);
      return Result::Message;
    }
    if (opcode == Opcode::Continuation) {
      if (!fragmented_) return fail("continuation without a message");
      fragments_ += payload;
      if (!fin) continue;
      out.opcode = fragment_opcode_;
      out.payload = std::move(fragments_);
      fragments_.clear();
      fragmented_ = false;
      return Result::Message;
    }
    if (fragmented_) return fail("new message inside a fragmented one");
    if (!fin) {
      fragmented_ = true;
      fragment_opcode_ = opcode;
      fragments_ = std::move(payload);
      continue;
    }
    out.opcode = opcode;
    out.payload = std::move(payload);
    return Result::Message;
  }
}

}  // namespace vesk::cdp
