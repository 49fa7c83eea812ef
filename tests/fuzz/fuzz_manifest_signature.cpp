// Signature checking on arbitrary text never crashes or accepts a forgery;
// whatever object the input holds, signing its canonical form verifies, and
// changing one byte of that form (chosen by the input) does not.
#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json.h"
#include "update/manifest.h"

namespace {

struct Keys {
  std::array<unsigned char, 32> public_key{};
  std::array<unsigned char, 64> secret_key{};
  Keys() {
    std::array<unsigned char, 32> seed{};
    seed.fill(0x5A);
    if (sodium_init() < 0) std::abort();
    crypto_sign_seed_keypair(public_key.data(), secret_key.data(), seed.data());
  }
};

std::string with_signature(const std::string& canonical, const std::array<unsigned char, 64>& signature) {
  std::string text = canonical;
  text.pop_back();  // the closing brace
  if (text.size() > 1) text.push_back(',');
  return text + "\"signature\":" + vesk::json_quote(vesk::encode_base64(signature.data(), signature.size())) + "}";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Keys keys;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  // Nobody but this harness holds the key's secret half, and it never
  // signed the raw input.
  if (vesk::verify_manifest_signature(text, keys.public_key, &error)) std::abort();
  if (error.empty()) std::abort();

  std::string canonical;
  if (!vesk::canonical_manifest_json(text, canonical, nullptr)) return 0;
  std::array<unsigned char, 64> signature{};
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(canonical.data()),
                       canonical.size(), keys.secret_key.data());
  const std::string signed_text = with_signature(canonical, signature);
  std::string reparsed;
  // Non-finite numbers make canonical text that does not parse again.
  if (!vesk::canonical_manifest_json(signed_text, reparsed, nullptr)) return 0;
  if (!vesk::verify_manifest_signature(signed_text, keys.public_key, &error)) std::abort();

  if (size == 0) return 0;
  std::string changed = canonical;
  const std::size_t at = data[0] % changed.size();
  changed[at] = static_cast<char>(changed[at] ^ (data[size - 1] | 1));
  if (vesk::verify_manifest_signature(with_signature(changed, signature), keys.public_key, nullptr)) {
    // Only a change the canonical writer undoes may still verify.
    std::string back;
    if (!vesk::canonical_manifest_json(with_signature(changed, signature), back, nullptr) || back != canonical) {
      std::abort();
    }
  }
  return 0;
}
