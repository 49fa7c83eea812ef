// The Chromium-backed control's transport: SHA-1 for the handshake, the
// handshake itself, client frames out, server frames in, and HTTP responses
// read by their length.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/json.h"
#include "http.h"
#include "sha1.h"
#include "websocket.h"

namespace vesk::cdp {
namespace {

std::string hex(const std::array<std::uint8_t, 20>& digest) {
  std::string out;
  for (auto byte : digest) {
    const char* digits = "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 15];
  }
  return out;
}

TEST(Sha1, KnownDigests) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      // 56 bytes: the padding needs a second block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const Case& c : cases) EXPECT_EQ(hex(sha1(c.input)), c.digest) << c.input.size();
}

TEST(WebSocketHandshake, AcceptValueAndAnswer) {
  // The example of RFC 6455, section 1.3.
  const std::string key = "dGhlIHNhbXBsZSBub25jZQ==";
  EXPECT_EQ(websocket_accept_value(key), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");

  const std::string request = websocket_upgrade_request("127.0.0.1:9222", "/devtools/browser/x", key);
  EXPECT_EQ(request.rfind("GET /devtools/browser/x HTTP/1.1\r\nHost: 127.0.0.1:9222\r\n", 0), 0u);
  EXPECT_NE(request.find("Sec-WebSocket-Key: " + key + "\r\n"), std::string::npos);
  EXPECT_EQ(request.substr(request.size() - 4), "\r\n\r\n");

  struct Case {
    const char* head;
    bool accepted;
  };
  const Case cases[] = {
      {"HTTP/1.1 101 WebSocket Protocol Handshake\r\nUpgrade: WebSocket\r\n"
       "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n", true},
      {"HTTP/1.1 101 Switching\r\nsec-websocket-accept:   s3pPLMBiTxaQ9kYGzzhZRbK+xOo=  \r\n", true},
      {"HTTP/1.1 101 Switching\r\nSec-WebSocket-Accept: wrong=\r\n", false},
      {"HTTP/1.1 101 Switching\r\n", false},
      {"HTTP/1.1 404 Not Found\r\nSec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n", false},
      {"garbage", false},
  };
  for (const Case& c : cases) EXPECT_EQ(websocket_upgrade_accepted(c.head, key), c.accepted) << c.head;
}

// A server frame (unmasked unless a mask is given).
std::string server_frame(std::uint8_t first, std::string_view payload, const std::uint8_t* mask = nullptr) {
  std::string frame(1, static_cast<char>(first));
  const std::uint8_t mask_bit = mask ? 0x80 : 0;
  if (payload.size() < 126) {
    frame += static_cast<char>(mask_bit | payload.size());
  } else if (payload.size() <= 0xFFFF) {
    frame += static_cast<char>(mask_bit | 126);
    frame += static_cast<char>(payload.size() >> 8);
    frame += static_cast<char>(payload.size() & 0xFF);
  } else {
    frame += static_cast<char>(mask_bit | 127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((std::uint64_t{payload.size()} >> shift) & 0xFF);
  }
  std::string body(payload);
  if (mask) {
    frame.append(reinterpret_cast<const char*>(mask), 4);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(body[i] ^ mask[i % 4]);
  }
  return frame + body;
}

TEST(WebSocketFrames, ClientFramesDecodeBack) {
  const std::array<std::uint8_t, 4> mask{0x12, 0x34, 0x56, 0x78};
  for (std::size_t size : {0u, 1u, 125u, 126u, 65535u, 65536u, 300000u}) {
    std::string payload(size, 'x');
    for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<char>(i * 7);
    const std::string frame = encode_client_frame(Opcode::Text, payload, mask);
    const std::size_t header = size < 126 ? 2 : size <= 0xFFFF ? 4 : 10;
    ASSERT_EQ(frame.size(), header + 4 + size);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[0]), 0x81);
    EXPECT_TRUE(static_cast<std::uint8_t>(frame[1]) & 0x80) << "client frames are masked";
    FrameDecoder decoder;
    decoder.feed(frame);
    WebSocketMessage message;
    ASSERT_EQ(decoder.next(message), FrameDecoder::Result::Message) << size;
    EXPECT_EQ(message.opcode, Opcode::Text);
    EXPECT_EQ(message.payload, payload) << size;
    EXPECT_EQ(decoder.next(message), FrameDecoder::Result::NeedMore);
  }
}

TEST(WebSocketFrames, FragmentsControlFramesAndSplitReads) {
  const std::uint8_t mask[4] = {1, 2, 3, 4};
  const std::string stream = server_frame(0x01, "{\"id\":") + server_frame(0x89, "ping!") +
                             server_frame(0x00, "1,\"result\"", mask) + server_frame(0x80, ":{}}") +
                             server_frame(0x81, std::string(70000, 'y')) + server_frame(0x88, "\x03\xe8");
  // Byte by byte and all at once give the same messages.
  for (bool drip : {false, true}) {
    FrameDecoder decoder;
    std::vector<WebSocketMessage> got;
    auto drain = [&] {
      WebSocketMessage m;
      FrameDecoder::Result r;
      while ((r = decoder.next(m)) == FrameDecoder::Result::Message) got.push_back(m);
      ASSERT_EQ(r, FrameDecoder::Result::NeedMore);
    };
    if (drip) {
      for (char c : stream) {
        decoder.feed(std::string_view(&c, 1));
        drain();
      }
    } else {
      decoder.feed(stream);
      drain();
    }
    ASSERT_EQ(got.size(), 4u) << drip;
    EXPECT_EQ(got[0].opcode, Opcode::Ping);
    EXPECT_EQ(got[0].payload, "ping!");
    EXPECT_EQ(got[1].opcode, Opcode::Text);
    EXPECT_EQ(got[1].payload, "{\"id\":1,\"result\":{}}");
    EXPECT_EQ(got[2].payload, std::string(70000, 'y'));
    EXPECT_EQ(got[3].opcode, Opcode::Close);
  }
}

TEST(WebSocketFrames, ProtocolErrors) {
  struct Case {
    const char* name;
    std::string stream;
  };
  const Case cases[] = {
      {"reserved bit", server_frame(0xC1, "x")},
      {"unknown opcode", server_frame(0x83, "x")},
      {"fragmented ping", server_frame(0x09, "x")},
      {"long ping", server_frame(0x89, std::string(126, 'p'))},
      {"lone continuation", server_frame(0x80, "x")},
      {"text inside text", server_frame(0x01, "a") + server_frame(0x81, "b")},
  };
  for (const Case& c : cases) {
    FrameDecoder decoder;
    decoder.feed(c.stream);
    WebSocketMessage m;
    EXPECT_EQ(decoder.next(m), FrameDecoder::Result::Error) << c.name;
    EXPECT_FALSE(decoder.error().empty()) << c.name;
  }
  FrameDecoder small(10);
  small.feed(server_frame(0x81, std::string(11, 'z')));
  WebSocketMessage m;
  EXPECT_EQ(small.next(m), FrameDecoder::Result::Error) << "over the size limit";
}

TEST(HttpResponses, ReadByContentLength) {
  const std::string body = R"({"Browser":"Chrome/1.2"})";
  const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body;
  for (std::size_t split = 1; split < response.size(); split += 7) {
    HttpResponseReader reader;
    EXPECT_EQ(reader.feed(response.substr(0, split)), HttpResponseReader::State::Incomplete) << split;
    EXPECT_EQ(reader.feed(response.substr(split)), HttpResponseReader::State::Complete) << split;
    EXPECT_EQ(reader.head().status, 200);
    EXPECT_EQ(reader.body(), body);
  }
}

TEST(HttpResponses, EndingsAndErrors) {
  HttpResponseReader until_close;
  EXPECT_EQ(until_close.feed("HTTP/1.0 200 OK\r\n\r\nabc"), HttpResponseReader::State::Incomplete);
  EXPECT_EQ(until_close.finish(), HttpResponseReader::State::Complete);
  EXPECT_EQ(until_close.body(), "abc");

  HttpResponseReader cut_short;
  cut_short.feed("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
  EXPECT_EQ(cut_short.finish(), HttpResponseReader::State::Error);

  const char* bad[] = {
      "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabc",       // more than announced
      "HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n",          // no number
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",  // not spoken here
      "SMTP 220\r\n\r\n",
  };
  for (const char* text : bad) {
    HttpResponseReader reader;
    EXPECT_EQ(reader.feed(text), HttpResponseReader::State::Error) << text;
  }
}

}  // namespace
}  // namespace vesk::cdp
