#include "update/manifest_check.h"

#include "core/json.h"

namespace vesk {
namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool is_loopback_host(std::string_view host) {
  std::string lower;
  for (const char c : host) lower.push_back(ascii_lower(c));
  if (lower == "localhost" || lower == "[::1]") return true;
  // 127.0.0.0/8 in dotted decimal, four parts of 1 to 3 digits.
  if (lower.rfind("127.", 0) != 0) return false;
  int parts = 1;
  std::size_t digits = 0;
  for (const char c : lower) {
    if (c == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 3) {
      ++digits;
    } else {
      return false;
    }
  }
  return parts == 4 && digits > 0;
}

ManifestCheck refuse(std::string error, std::string log) {
  ManifestCheck check;
  check.error = std::move(error);
  check.log = std::move(log);
  return check;
}

}  // namespace

bool manifest_expired(const UpdateManifest& manifest, std::int64_t now) {
  return manifest.expires && now >= *manifest.expires;
}

bool manifest_replayed(std::string_view version, const std::optional<std::string>& highest_seen) {
  return highest_seen && compare_versions(version, *highest_seen) < 0;
}

bool exceeds_declared_size(std::int64_t received, std::int64_t declared) { return declared > 0 && received > declared; }

bool is_allowed_package_url(std::string_view url) {
  // Backslashes and controls are read differently by different URL parsers.
  for (const char c : url) {
    if (c == '\\' || static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  bool secure = false;
  if (starts_with_ignoring_case(url, "https://")) {
    secure = true;
    url.remove_prefix(8);
  } else if (starts_with_ignoring_case(url, "http://")) {
    url.remove_prefix(7);
  } else {
    return false;
  }
  const std::string_view authority = url.substr(0, url.find_first_of("/?#"));
  if (authority.empty() || authority.find('@') != std::string_view::npos) return false;
  if (secure) return true;
  // The port follows the last colon, except inside an IPv6 literal.
  std::string_view host = authority;
  const std::size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) host = host.substr(0, colon);
  return is_loopback_host(host);
}

ManifestCheck check_fetched_manifest(std::string_view text, const std::array<unsigned char, 32>& public_key,
                                     std::int64_t now, const std::optional<std::string>& highest_seen) {
  std::string error;
  JsonValue root;
  if (!parse_json(text, root) || !root.is_object()) {
    error = "更新清单不是合法的 JSON 对象";
    return refuse(error, "check failed: " + error);
  }
  // Before any field is read: an unsigned manifest must not be able to say
  // "up to date" (a freeze), fill the prompt or name a host to fetch from.
  if (!verify_manifest_signature(text, public_key, &error)) {
    return refuse("更新清单签名无效", "manifest signature invalid: " + error);
  }
  ManifestCheck check;
  if (!parse_update_manifest(text, UpdatePlatform::Windows, check.manifest, &error)) {
    return refuse(error, "check failed: " + error);
  }
  if (manifest_expired(check.manifest, now)) {
    return refuse("更新清单已过期", "manifest expired at " + format_utc_timestamp(*check.manifest.expires));
  }
  if (manifest_replayed(check.manifest.version, highest_seen)) {
    return refuse("更新清单比已见过的旧，可能是重放，已拒绝。",
                  "manifest older than one already seen (" + check.manifest.version + " < " + *highest_seen + ")");
  }
  check.accepted = true;
  check.decision = update_decision(check.manifest, UpdatePlatform::Windows, kAppVersion, kUpdateOsVersion, 0);
  if (!highest_seen || compare_versions(check.manifest.version, *highest_seen) > 0) {
    check.new_highest_seen = check.manifest.version;
  }
  return check;
}

}  // namespace vesk
