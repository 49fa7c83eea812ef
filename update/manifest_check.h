// What the updater trusts, decided without Windows: a fetched manifest is
// believed only after its signature, its expiry and the replay rule have
// passed, and a package is fetched only from an address and up to a size
// that the verified manifest allows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "update/manifest.h"

namespace vesk {

// No real manifest comes near this; a server that sends more is refused
// before it can fill our memory.
inline constexpr std::size_t kManifestMaxBytes = 1u << 20;

struct ManifestCheck {
  bool accepted = false;
  std::string error;  // for the user, when a manual check fails
  std::string log;    // the update log's line (after "NATIVE update ") when refused
  UpdateManifest manifest;
  int decision = kUpdateUnusable;
  // The version to remember as the highest seen, when it raises the stored one.
  std::optional<std::string> new_highest_seen;
};

// A fetched manifest, in this order: a JSON object, a valid signature by
// `public_key`, a usable Windows entry, not expired at `now` (seconds since
// 1970 UTC), and not older than `highest_seen`. Nothing of a refused
// manifest is returned but the reason.
ManifestCheck check_fetched_manifest(std::string_view text, const std::array<unsigned char, 32>& public_key,
                                     std::int64_t now, const std::optional<std::string>& highest_seen);

// True when `manifest` carries an expiry that `now` has reached.
bool manifest_expired(const UpdateManifest& manifest, std::int64_t now);

// True when a verified manifest for `version` is older than one already seen.
bool manifest_replayed(std::string_view version, const std::optional<std::string>& highest_seen);

// Packages come over https; plain http only from this machine (loopback),
// which is what the tests serve. No user name or password in the address.
bool is_allowed_package_url(std::string_view url);

// A transfer must stop once it has more bytes than the manifest declared
// (when it declared a size at all).
bool exceeds_declared_size(std::int64_t received, std::int64_t declared);

}  // namespace vesk
