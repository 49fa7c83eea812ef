// What a fetched manifest must pass before anything of it is used, and the
// limits on what a verified one may make us fetch.
#include <gtest/gtest.h>

#include "tests/unit/update_test_support.h"
#include "update/manifest_check.h"

namespace vesk {
namespace {

using testing::make_key_pair;
using testing::sign_manifest;

// 2026-03-01T00:00:00Z
constexpr std::int64_t kNow = 1772323200;

std::string manifest_text(std::string_view version, std::string_view extra = "") {
  return R"({"updated_at":"2026-03-01")" + std::string(extra) + R"(,"platforms":{"windows":{"version":")" +
         std::string(version) + R"(","artifacts":{"portable":{"url":"https://h.test/p.zip","sha256":"ab"}}}}})";
}

TEST(UpdateTimestamps, ReadOnlyUtcAndWriteBack) {
  const struct {
    std::string_view text;
    std::optional<std::int64_t> seconds;
  } cases[] = {
      {"2026-03-01T00:00:00Z", kNow},
      {"2026-03-01T00:00:00.999Z", kNow},
      {"2026-03-01T00:00:00+00:00", kNow},
      {"1970-01-01T00:00:00Z", 0},
      {"2024-02-29T12:30:05Z", 1709209805},
      {"2025-02-29T00:00:00Z", std::nullopt},  // not a leap year
      {"2100-02-29T00:00:00Z", std::nullopt},
      {"2026-03-01T00:00:00", std::nullopt},   // local time
      {"2026-03-01T00:00:00+08:00", std::nullopt},
      {"2026-03-01", std::nullopt},
      {"2026-13-01T00:00:00Z", std::nullopt},
      {"2026-03-01T24:00:00Z", std::nullopt},
      {"2026-03-01T00:00:00.Z", std::nullopt},
      {"2026-03-01T00:00:00Zjunk", std::nullopt},
      {"1969-12-31T23:59:59Z", std::nullopt},
      {"२०२६-03-01T00:00:00Z", std::nullopt},
  };
  for (const auto& c : cases) {
    std::int64_t seconds = -1;
    EXPECT_EQ(parse_utc_timestamp(c.text, seconds), c.seconds.has_value()) << c.text;
    if (c.seconds) {
      EXPECT_EQ(seconds, *c.seconds) << c.text;
    }
  }
  EXPECT_EQ(format_utc_timestamp(kNow + 90 * 86400 + 3661), "2026-05-30T01:01:01Z");
  EXPECT_EQ(format_utc_timestamp(1709209805), "2024-02-29T12:30:05Z");
}

TEST(UpdateManifestCheck, ExpiresIsOptionalSignedAndEnforced) {
  const auto keys = make_key_pair(7);
  const struct {
    const char* name;
    std::string extra;
    bool accepted;
    std::string_view error;
  } cases[] = {
      {"absent", "", true, ""},
      {"a day ahead", R"(,"expires":"2026-03-02T00:00:00Z")", true, ""},
      {"reached this second", R"(,"expires":"2026-03-01T00:00:00Z")", false, "更新清单已过期"},
      {"past", R"(,"expires":"2026-02-01T00:00:00Z")", false, "更新清单已过期"},
      {"malformed", R"(,"expires":"next year")", false, "更新清单的 expires 不是合法的 UTC 时间"},
      {"local time", R"(,"expires":"2027-01-01T00:00:00")", false, "更新清单的 expires 不是合法的 UTC 时间"},
      {"a number", R"(,"expires":1900000000)", false, "更新清单的 expires 不是合法的 UTC 时间"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ManifestCheck check =
        check_fetched_manifest(sign_manifest(manifest_text("1.0.4", c.extra), keys), keys.public_key, kNow, "1.0.3");
    EXPECT_EQ(check.accepted, c.accepted);
    EXPECT_EQ(check.error, c.error);
    EXPECT_EQ(check.decision, c.accepted ? kUpdateAvailable : kUpdateUnusable);
  }
  // Pushing the date out after signing breaks the signature.
  std::string stretched = sign_manifest(manifest_text("1.0.4", R"(,"expires":"2026-02-01T00:00:00Z")"), keys);
  stretched.replace(stretched.find("2026-02-01"), 10, "2036-02-01");
  const ManifestCheck check = check_fetched_manifest(stretched, keys.public_key, kNow, std::nullopt);
  EXPECT_EQ(check.error, "更新清单签名无效");
  EXPECT_EQ(check.log, "manifest signature invalid: 更新清单签名验证失败（公钥不匹配或清单被改动）");
}

// The signature comes before every field: nothing of an unverified manifest
// reaches the caller, whatever it claims.
TEST(UpdateManifestCheck, UnverifiedManifestsGiveOnlyTheReason) {
  const auto keys = make_key_pair(7);
  const auto other = make_key_pair(8);
  const std::string newer = manifest_text("9.0.0");
  const std::string current = manifest_text("1.0.3");
  for (const std::string& text : {newer, current, sign_manifest(newer, other),
                                  sign_manifest(R"({"platforms":{}})", other)}) {
    const ManifestCheck check = check_fetched_manifest(text, keys.public_key, kNow, std::nullopt);
    EXPECT_FALSE(check.accepted);
    EXPECT_EQ(check.error, "更新清单签名无效");
    EXPECT_EQ(check.log.rfind("manifest signature invalid: ", 0), 0u) << check.log;
    EXPECT_TRUE(check.manifest.version.empty());
    EXPECT_TRUE(check.manifest.portable.url.empty());
    EXPECT_EQ(check.new_highest_seen, std::nullopt);
  }
  const ManifestCheck not_json = check_fetched_manifest("<html>", keys.public_key, kNow, std::nullopt);
  EXPECT_EQ(not_json.error, "更新清单不是合法的 JSON 对象");
  EXPECT_EQ(not_json.log, "check failed: 更新清单不是合法的 JSON 对象");
  // Signed but unusable: the parser's own text.
  const ManifestCheck unusable =
      check_fetched_manifest(sign_manifest(R"({"platforms":{}})", keys), keys.public_key, kNow, std::nullopt);
  EXPECT_EQ(unusable.error, "更新清单缺少 windows 平台");
}

TEST(UpdateManifestCheck, OlderThanSeenIsAReplay) {
  const auto keys = make_key_pair(7);
  const struct {
    std::string version;
    std::optional<std::string> seen;
    bool accepted;
    std::optional<std::string> remember;
  } cases[] = {
      {"1.0.4", std::nullopt, true, "1.0.4"},
      {"1.0.4", "1.0.4", true, std::nullopt},
      {"1.0.10", "1.0.9", true, "1.0.10"},
      {"1.0.3", "1.0.2", true, "1.0.3"},  // current, and still raises what was seen
      {"1.0.4", "1.0.5", false, std::nullopt},
      {"1.0.4", "v1.1", false, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version + " after " + c.seen.value_or("nothing"));
    const ManifestCheck check =
        check_fetched_manifest(sign_manifest(manifest_text(c.version), keys), keys.public_key, kNow, c.seen);
    EXPECT_EQ(check.accepted, c.accepted);
    EXPECT_EQ(check.new_highest_seen, c.remember);
    if (!c.accepted) {
      EXPECT_EQ(check.error, "更新清单比已见过的旧，可能是重放，已拒绝。");
      EXPECT_EQ(check.log, "manifest older than one already seen (" + c.version + " < " + *c.seen + ")");
    }
  }
}

TEST(UpdatePackageLimits, SizeAndAddressRules) {
  EXPECT_FALSE(exceeds_declared_size(100, 100));
  EXPECT_TRUE(exceeds_declared_size(101, 100));
  EXPECT_FALSE(exceeds_declared_size(1 << 30, 0));  // no size declared: the hash decides

  for (const std::string_view url :
       {"https://download.example/v/p.zip", "HTTPS://h:8443/p.zip?x=1", "http://127.0.0.1:8080/p.zip",
        "http://127.1.2.3/p.zip", "http://localhost:9/p", "http://[::1]:80/p.zip", "https://[2001:db8::1]/p"}) {
    EXPECT_TRUE(is_allowed_package_url(url)) << url;
  }
  for (const std::string_view url :
       {"http://download.example/p.zip", "http://127.0.0.1.evil.test/p", "http://127.0.0.1@evil.test/p",
        "https://user@h/p", "http://localhost.evil.test/p", "http://1270.0.0.1/p", "http://[::2]/p",
        "ftp://127.0.0.1/p", "file:///C:/p.exe", "https://", "https:///p", "https://h\\@evil/p",
        "https://h/p q", "\\\\server\\share\\p.exe", ""}) {
    EXPECT_FALSE(is_allowed_package_url(url)) << url;
  }
}

}  // namespace
}  // namespace vesk
