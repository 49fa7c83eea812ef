#include "update/manifest.h"

#include <sodium.h>

#include <cmath>
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
