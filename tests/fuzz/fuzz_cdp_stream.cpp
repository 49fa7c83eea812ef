// What the Chromium-backed control reads from the browser's socket: HTTP
// answers, WebSocket frames and the DevTools messages inside them. A browser
// is trusted not to lie, but a broken stream must end in an error, never in
// a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "devtools_protocol.h"
#include "http.h"
#include "websocket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  vesk::cdp::CdpMessage message;
  vesk::cdp::parse_cdp_message(input, message);
  vesk::cdp::BrowserEndpoint endpoint;
  vesk::cdp::parse_browser_endpoint(input, endpoint);

  vesk::cdp::HttpResponseReader reader(1 << 16);
  const std::size_t half = size / 2;
  if (reader.feed(input.substr(0, half)) == vesk::cdp::HttpResponseReader::State::Incomplete) {
    reader.feed(input.substr(half));
    reader.finish();
  }

  // The same stream whole and in two reads must decode alike.
  vesk::cdp::FrameDecoder whole(1 << 20), split(1 << 20);
  whole.feed(input);
  split.feed(input.substr(0, half));
  vesk::cdp::WebSocketMessage a, b;
  std::size_t count_whole = 0, count_split = 0;
  while (whole.next(a) == vesk::cdp::FrameDecoder::Result::Message) ++count_whole;
  while (split.next(b) == vesk::cdp::FrameDecoder::Result::Message) ++count_split;
  split.feed(input.substr(half));
  while (split.next(b) == vesk::cdp::FrameDecoder::Result::Message) ++count_split;
  if (count_whole != count_split) __builtin_trap();
  return 0;
}
