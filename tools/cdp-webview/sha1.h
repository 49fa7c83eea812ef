// SHA-1, for the one place it is still required: the WebSocket handshake's
// Sec-WebSocket-Accept check. Not for anything that needs collision
// resistance.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vesk::cdp {

std::array<std::uint8_t, 20> sha1(std::string_view bytes);

}  // namespace vesk::cdp
