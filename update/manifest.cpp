#include "update/manifest.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "core/json.h"

namespace vesk {
namespace {

constexpr char kNotAnObject[] = "更新清单不是合法的 JSON 对象";

void set_error(std::string* error, std::string_view text) {
  if (error) error->assign(text);
}

// A member of another JSON type counts as absent.
std::string read_text(const JsonValue& object, std::string_view key) {
  const JsonValue* member = object.find(key);
  return member && member->is_string() ? member->text : std::string();
}

// Truncated towards zero. The parser turns 1e999 into infinity, and casting
// an out-of-range double is undefined, so the far ends saturate.
std::int64_t read_integer(const JsonValue& object, std::string_view key) {
  const JsonValue* member = object.find(key);
  if (!member || member->kind != JsonKind::Number || std::isnan(member->number)) return 0;
  const double value = member->number;
  if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

const JsonValue* find_object(const JsonValue& object, std::string_view key) {
  const JsonValue* member = object.find(key);
  return member && member->is_object() ? member : nullptr;
}

bool read_artifact(const JsonValue& artifacts, std::string_view key, ManifestArtifact& out, std::string* error) {
  const JsonValue* artifact = find_object(artifacts, key);
  if (!artifact) return true;
  out.url = read_text(*artifact, "url");
  out.sha256 = read_text(*artifact, "sha256");
  out.size = read_integer(*artifact, "size");
  if (out.size < 0) {
    set_error(error, "更新清单的 size 不能为负数");
    return false;
  }
  return true;
}

bool has_package(const UpdateManifest& manifest, UpdatePlatform platform) {
  if (platform == UpdatePlatform::MacOS) return !manifest.dmg.url.empty();
  return !manifest.setup.url.empty() || !manifest.portable.url.empty();
}

std::vector<std::int64_t> version_numbers(std::string_view text) {
  if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
  std::vector<std::int64_t> numbers;
  for (;;) {
    const std::size_t dot = text.find('.');
    const std::string_view piece = text.substr(0, dot);
    std::int64_t number = 0;
    for (const char c : piece) {
      if (c < '0' || c > '9') break;
      const int digit = c - '0';
      number = number > (std::numeric_limits<std::int64_t>::max() - digit) / 10
                   ? std::numeric_limits<std::int64_t>::max()
                   : number * 10 + digit;
    }
    numbers.push_back(number);
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return numbers;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

bool read_digits(std::string_view text, std::size_t at, std::size_t count, unsigned& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

unsigned days_in_month(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool parse_object(std::string_view text, JsonValue& root, std::string* error) {
  if (!parse_json(text, root) || !root.is_object()) {
    set_error(error, kNotAnObject);
    return false;
  }
  return true;
}

void write_canonical(const JsonValue& root, std::string& out) {
  out.clear();
  out.push_back('{');
  bool first = true;
  for (const auto& [key, value] : root.members) {
    if (key == "signature") continue;
    if (!first) out.push_back(',');
    first = false;
    out += json_quote(key);
    out.push_back(':');
    write_json(value, out);
  }
  out.push_back('}');
}

}  // namespace

bool parse_update_manifest(std::string_view text, UpdatePlatform platform, UpdateManifest& out,
                           std::string* error) {
  out = UpdateManifest{};
  JsonValue root;
  if (!parse_object(text, root, error)) return false;
  out.updated_at = read_text(root, "updated_at");
  // A signed expiry that cannot be read is refused rather than ignored: a
  // release that meant to limit its manifest's life must not get an
  // unlimited one by a typo.
  if (const JsonValue* expires = root.find("expires")) {
    std::int64_t seconds = 0;
    if (!expires->is_string() || !parse_utc_timestamp(expires->text, seconds)) {
      set_error(error, "更新清单的 expires 不是合法的 UTC 时间");
      return false;
    }
    out.expires = seconds;
  }

  const JsonValue* platforms = find_object(root, "platforms");
  if (!platforms) {
    set_error(error, "更新清单缺少 platforms");
    return false;
  }
  const bool mac = platform == UpdatePlatform::MacOS;
  const JsonValue* entry = find_object(*platforms, mac ? "macos" : "windows");
  if (!entry) {
    set_error(error, mac ? "更新清单缺少 macos 平台" : "更新清单缺少 windows 平台");
    return false;
  }
  out.version = read_text(*entry, "version");
  if (out.version.empty()) {
    set_error(error, "更新清单缺少 version");
    return false;
  }
  out.build = read_integer(*entry, "build");
  if (out.build < 0) {
    set_error(error, "更新清单的 build 不能为负数");
    return false;
  }
  out.min_os = read_text(*entry, "min_os");
  out.notes_url = read_text(*entry, "notes_url");

  const JsonValue* artifacts = find_object(*entry, "artifacts");
  if (!artifacts) {
    set_error(error, "更新清单缺少 artifacts");
    return false;
  }
  if (!read_artifact(*artifacts, "dmg", out.dmg, error) || !read_artifact(*artifacts, "setup", out.setup, error) ||
      !read_artifact(*artifacts, "portable", out.portable, error)) {
    return false;
  }
  if (!has_package(out, platform)) {
    set_error(error, mac ? "更新清单缺少 dmg 产物" : "更新清单至少需要 setup 或 portable 产物");
    return false;
  }
  return true;
}

bool parse_utc_timestamp(std::string_view text, std::int64_t& seconds) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!read_digits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' || !read_digits(text, 5, 2, month) ||
      text[7] != '-' || !read_digits(text, 8, 2, day) || text[10] != 'T' || !read_digits(text, 11, 2, hour) ||
      text[13] != ':' || !read_digits(text, 14, 2, minute) || text[16] != ':' || !read_digits(text, 17, 2, second)) {
    return false;
  }
  std::string_view rest = text.substr(19);
  if (rest.front() == '.') {
    std::size_t digits = 1;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 1) return false;
    rest.remove_prefix(digits);
  }
  if (rest != "Z" && rest != "+00:00") return false;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::string format_utc_timestamp(std::int64_t seconds) {
  seconds = std::clamp<std::int64_t>(seconds, 0, days_from_civil(10000, 1, 1) * 86400 - 1);
  std::int64_t days = seconds / 86400;
  const std::int64_t in_day = seconds % 86400;
  // Inverse of days_from_civil.
  days += 719468;
  const std::int64_t era = days / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2);
  char text[80];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<long long>(year), month, day,
                static_cast<long long>(in_day / 3600), static_cast<long long>(in_day / 60 % 60),
                static_cast<long long>(in_day % 60));
  return text;
}

int compare_versions(std::string_view a, std::string_view b) {
  const std::vector<std::int64_t> left = version_numbers(a);
  const std::vector<std::int64_t> right = version_numbers(b);
  const std::size_t count = std::max(left.size(), right.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::int64_t x = i < left.size() ? left[i] : 0;
    const std::int64_t y = i < right.size() ? right[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

int update_decision(const UpdateManifest& manifest, UpdatePlatform platform, std::string_view version,
                    std::string_view os_version, std::int64_t build) {
  if (manifest.version.empty() || !has_package(manifest, platform)) return kUpdateUnusable;
  const int order = compare_versions(manifest.version, version);
  if (order < 0) return kUpdateCurrent;
  // A rebuilt release under the same version only counts when we know our
  // own build number; this program passes 0, so equal versions are current.
  if (order == 0 && !(platform == UpdatePlatform::Windows && build > 0 && manifest.build > build)) {
    return kUpdateCurrent;
  }
  if (manifest.min_os.empty()) return kUpdateAvailable;
  return compare_versions(os_version, manifest.min_os) < 0 ? kUpdateNeedsNewerOs : kUpdateAvailable;
}

bool canonical_manifest_json(std::string_view text, std::string& out, std::string* error) {
  JsonValue root;
  if (!parse_object(text, root, error)) return false;
  write_canonical(root, out);
  return true;
}

bool verify_manifest_signature(std::string_view text, const std::array<unsigned char, 32>& public_key,
                               std::string* error) {
  JsonValue root;
  if (!parse_object(text, root, error)) return false;
  const JsonValue* signature_text = root.find("signature");
  if (!signature_text || !signature_text->is_string() || signature_text->text.empty()) {
    set_error(error, "更新清单缺少 signature");
    return false;
  }
  const std::vector<unsigned char> signature = decode_base64(signature_text->text);
  if (signature.size() != crypto_sign_BYTES) {
    set_error(error, "更新清单的 signature 不是 64 字节 Ed25519 签名");
    return false;
  }
  std::string message;
  write_canonical(root, message);
  // sodium_init is idempotent and thread-safe; without it the verifier
  // would run on an unselected implementation.
  if (sodium_init() < 0 ||
      crypto_sign_verify_detached(signature.data(), reinterpret_cast<const unsigned char*>(message.data()),
                                  message.size(), public_key.data()) != 0) {
    set_error(error, "更新清单签名验证失败（公钥不匹配或清单被改动）");
    return false;
  }
  return true;
}

}  // namespace vesk
