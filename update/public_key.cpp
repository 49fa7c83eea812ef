#include "update/public_key.h"

#include "core/ascii.h"

#ifndef VESK_UPDATE_PUBLIC_KEY
#error "VESK_UPDATE_PUBLIC_KEY must name the release public key (64 hex digits)"
#endif

namespace vesk {
namespace {

constexpr bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

constexpr bool decode_hex(std::string_view text, unsigned char* out, std::size_t size) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  if (text.size() != 2 * size) return false;
  for (std::size_t i = 0; i < size; ++i) {
    const int high = hex_digit_value(text[2 * i]);
    const int low = hex_digit_value(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

constexpr std::array<unsigned char, 32> built_in_key() {
  std::array<unsigned char, 32> key{};
  // A malformed key stops the build instead of shipping a program that
  // refuses every update.
  if (!decode_hex(VESK_UPDATE_PUBLIC_KEY, key.data(), key.size())) throw "malformed VESK_UPDATE_PUBLIC_KEY";
  return key;
}

constexpr std::array<unsigned char, 32> kPublicKey = built_in_key();

}  // namespace

const std::array<unsigned char, 32>& update_public_key() { return kPublicKey; }

bool parse_hex_bytes(std::string_view text, unsigned char* out, std::size_t size) {
  return decode_hex(text, out, size);
}

}  // namespace vesk
