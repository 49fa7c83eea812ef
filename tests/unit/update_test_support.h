// Signing helpers for the updater tests: key pairs and signed manifests made
// with libsodium, as a release would make them.
#pragma once

#include <sodium.h>

#include <array>
#include <string>
#include <string_view>

#include "core/json.h"
#include "update/manifest.h"

namespace vesk::testing {

struct TestKeyPair {
  std::array<unsigned char, 32> public_key{};
  std::array<unsigned char, 64> secret_key{};
};

inline TestKeyPair key_pair_from_seed(const std::array<unsigned char, 32>& seed) {
  TestKeyPair keys;
  if (sodium_init() < 0) return keys;
  crypto_sign_seed_keypair(keys.public_key.data(), keys.secret_key.data(), seed.data());
  return keys;
}

inline TestKeyPair make_key_pair(unsigned char seed_byte) {
  std::array<unsigned char, 32> seed{};
  seed.fill(seed_byte);
  return key_pair_from_seed(seed);
}

inline std::array<unsigned char, 64> sign_bytes(std::string_view message, const TestKeyPair& keys) {
  std::array<unsigned char, 64> signature{};
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size(), keys.secret_key.data());
  return signature;
}

// `text` with a "signature" member over its canonical form, the signature
// written by `encode` (standard Base64 unless told otherwise).
template <typename Encode>
std::string sign_manifest(std::string_view text, const TestKeyPair& keys, Encode encode) {
  std::string canonical;
  JsonValue root;
  if (!canonical_manifest_json(text, canonical, nullptr) || !parse_json(text, root)) return {};
  const std::array<unsigned char, 64> signature = sign_bytes(canonical, keys);
  root.members["signature"] = JsonValue::make_string(encode(signature));
  std::string out;
  write_json(root, out);
  return out;
}

inline std::string sign_manifest(std::string_view text, const TestKeyPair& keys) {
  return sign_manifest(text, keys, [](const std::array<unsigned char, 64>& signature) {
    return encode_base64(signature.data(), signature.size());
  });
}

}  // namespace vesk::testing
