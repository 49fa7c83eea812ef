// The update manifest: one JSON document naming the latest release of every
// platform, signed with the release key. Parsing, version comparison, the
// update decision and the signature check; no Windows code here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vesk_version.h"

namespace vesk {

inline constexpr char kAppVersion[] = VESK_VERSION_TEXT;  // the VESK_VERSION setting
// The running OS version used in decisions: fixed, never read from the system.
inline constexpr char kUpdateOsVersion[] = "10.0";

enum class UpdatePlatform { Windows, MacOS };

struct ManifestArtifact {
  std::string url;
  std::string sha256;
  std::int64_t size = 0;
};

struct UpdateManifest {
  std::string updated_at;
  std::string version;
  std::int64_t build = 0;
  std::string min_os;
  std::string notes_url;
  ManifestArtifact dmg;
  ManifestArtifact setup;
  ManifestArtifact portable;
  // The root's signed "expires", seconds since 1970 UTC; none when absent.
  // Manifests without it stay valid, so older releases keep working.
  std::optional<std::int64_t> expires;
};

// Results of update_decision.
inline constexpr int kUpdateUnusable = 0;     // no version or no package URL
inline constexpr int kUpdateCurrent = 1;      // nothing newer
inline constexpr int kUpdateAvailable = 2;    // newer and installable here
inline constexpr int kUpdateNeedsNewerOs = 3; // newer, but min_os is above ours

// True when the manifest is usable for `platform`. `out` is reset first and
// is partly filled after a failure.
bool parse_update_manifest(std::string_view text, UpdatePlatform platform, UpdateManifest& out,
                           std::string* error);

// "YYYY-MM-DDTHH:MM:SS" with optional fractional seconds and "Z" (or
// "+00:00"), the form release scripts write; seconds since 1970 UTC.
// Anything else, a local time included, is false.
bool parse_utc_timestamp(std::string_view text, std::int64_t& seconds);
// "YYYY-MM-DDTHH:MM:SSZ" for years 1970 to 9999.
std::string format_utc_timestamp(std::int64_t seconds);

// -1, 0 or 1: `a` older than, equal to or newer than `b`.
int compare_versions(std::string_view a, std::string_view b);

int update_decision(const UpdateManifest& manifest, UpdatePlatform platform, std::string_view version,
                    std::string_view os_version, std::int64_t build);

// The signed bytes: the root object without its "signature" member, written
// compactly with members in byte order. False only when the text is not a
// JSON object.
bool canonical_manifest_json(std::string_view text, std::string& out, std::string* error);

bool verify_manifest_signature(std::string_view text, const std::array<unsigned char, 32>& public_key,
                               std::string* error);

}  // namespace vesk
