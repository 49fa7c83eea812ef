// Signature checking on arbitrary text never crashes or accepts a forgery;
// whatever object the input holds, signing its canonical form verifies, and
// changing one byte of that form (chosen by the input) does not.
#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/json.h"
#include "update/manifest.h"
#include "update/manifest_check.h"

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

// A signed manifest gets past the signature, and then is accepted exactly
// when it parses, has not expired and is not older than what was seen.
void check_signed(const std::string& text, const std::array<unsigned char, 32>& public_key) {
  constexpr std::int64_t kNow = 1900000000;
  const std::optional<std::string> seen = std::string("1.0.3");
  const vesk::ManifestCheck check = vesk::check_fetched_manifest(text, public_key, kNow, seen);
  // The log may quote the manifest's own text (its version), so only the
  // signature failure's own opening counts.
  if (check.log.rfind("manifest signature invalid", 0) == 0) std::abort();
  vesk::UpdateManifest manifest;
  const bool usable = vesk::parse_update_manifest(text, vesk::UpdatePlatform::Windows, manifest, nullptr) &&
                      !vesk::manifest_expired(manifest, kNow) && !vesk::manifest_replayed(manifest.version, seen);
  if (check.accepted != usable) std::abort();
  if (check.accepted ? !check.log.empty() || check.decision < 1 || check.decision > 3
                     : check.error.empty() || check.log.empty()) {
    std::abort();
  }
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
  check_signed(signed_text, keys.public_key);

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
