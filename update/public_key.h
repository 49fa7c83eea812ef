// The Ed25519 key that release manifests must be signed with, chosen at
// build time (VESK_UPDATE_PUBLIC_KEY), plus the hex form our key files use.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vesk {

const std::array<unsigned char, 32>& update_public_key();

// Exactly 2 * size hex digits (either case), surrounding ASCII whitespace
// ignored. False leaves `out` unspecified.
bool parse_hex_bytes(std::string_view text, unsigned char* out, std::size_t size);

}  // namespace vesk
