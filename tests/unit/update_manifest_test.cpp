#include <gtest/gtest.h>

#include <limits>

#include "tests/unit/update_test_support.h"
#include "update/manifest.h"

namespace vesk {
namespace {

using testing::make_key_pair;
using testing::sign_manifest;

constexpr std::string_view kManifest = R"({
  "updated_at": "2026-03-01",
  "platforms": {
    "windows": {
      "version": "1.0.4", "build": 104, "min_os": "10.0", "notes_url": "https://example.test/notes",
      "artifacts": {
        "setup": {"url": "https://example.test/Vesk-setup.exe", "sha256": "AB12", "size": 5242880},
        "portable": {"url": "https://example.test/Vesk.zip", "sha256": "cd34", "size": 1.9e3}
      }
    },
    "macos": {"version": "1.0.4", "artifacts": {"dmg": {"url": "https://example.test/Vesk.dmg"}}}
  }
})";

// A minimal Windows manifest around one `entry` body.
std::string windows_manifest(std::string_view entry) {
  return R"({"platforms":{"windows":{)" + std::string(entry) + "}}}";
}

TEST(UpdateManifestParse, ReadsEveryField) {
  UpdateManifest manifest;
  std::string error;
  ASSERT_TRUE(parse_update_manifest(kManifest, UpdatePlatform::Windows, manifest, &error)) << error;
  EXPECT_EQ(manifest.updated_at, "2026-03-01");
  EXPECT_EQ(manifest.version, "1.0.4");
  EXPECT_EQ(manifest.build, 104);
  EXPECT_EQ(manifest.min_os, "10.0");
  EXPECT_EQ(manifest.notes_url, "https://example.test/notes");
  EXPECT_EQ(manifest.setup.url, "https://example.test/Vesk-setup.exe");
  EXPECT_EQ(manifest.setup.sha256, "AB12");
  EXPECT_EQ(manifest.setup.size, 5242880);
  EXPECT_EQ(manifest.portable.size, 1900);
  EXPECT_TRUE(manifest.dmg.url.empty());

  ASSERT_TRUE(parse_update_manifest(kManifest, UpdatePlatform::MacOS, manifest, &error)) << error;
  EXPECT_EQ(manifest.dmg.url, "https://example.test/Vesk.dmg");
  EXPECT_TRUE(manifest.setup.url.empty());
}

TEST(UpdateManifestParse, FailsAtTheFirstBrokenStepWithItsText) {
  const std::string artifacts = R"("artifacts":{"portable":{"url":"u"}})";
  const struct {
    std::string text;
    UpdatePlatform platform;
    std::string_view error;
  } cases[] = {
      {"", UpdatePlatform::Windows, "更新清单不是合法的 JSON 对象"},
      {"[1]", UpdatePlatform::Windows, "更新清单不是合法的 JSON 对象"},
      {R"({"platforms":1)", UpdatePlatform::Windows, "更新清单不是合法的 JSON 对象"},
      {"{}", UpdatePlatform::Windows, "更新清单缺少 platforms"},
      {R"({"platforms":[]})", UpdatePlatform::Windows, "更新清单缺少 platforms"},
      {R"({"platforms":{"macos":{}}})", UpdatePlatform::Windows, "更新清单缺少 windows 平台"},
      {R"({"platforms":{"windows":"x"}})", UpdatePlatform::Windows, "更新清单缺少 windows 平台"},
      {R"({"platforms":{"windows":{}}})", UpdatePlatform::MacOS, "更新清单缺少 macos 平台"},
      // Each step is reached only when the ones before it pass.
      {windows_manifest(R"("build":-1)"), UpdatePlatform::Windows, "更新清单缺少 version"},
      {windows_manifest(R"("version":2,)" + artifacts), UpdatePlatform::Windows, "更新清单缺少 version"},
      {windows_manifest(R"("version":"")"), UpdatePlatform::Windows, "更新清单缺少 version"},
      {windows_manifest(R"("version":"1","build":-1)"), UpdatePlatform::Windows, "更新清单的 build 不能为负数"},
      {windows_manifest(R"("version":"1","build":-0.5,"artifacts":1)"), UpdatePlatform::Windows, "更新清单缺少 artifacts"},
      {windows_manifest(R"("version":"1")"), UpdatePlatform::Windows, "更新清单缺少 artifacts"},
      {windows_manifest(R"("version":"1","artifacts":{"dmg":{"size":-1},"setup":{"url":"u"}})"),
       UpdatePlatform::Windows, "更新清单的 size 不能为负数"},
      {windows_manifest(R"("version":"1","artifacts":{"portable":{"url":"u","size":-1e999}})"),
       UpdatePlatform::Windows, "更新清单的 size 不能为负数"},
      {windows_manifest(R"("version":"1","artifacts":{"dmg":{"url":"d"}})"), UpdatePlatform::Windows,
       "更新清单至少需要 setup 或 portable 产物"},
      {windows_manifest(R"("version":"1","artifacts":{"setup":{"url":""},"portable":[]})"),
       UpdatePlatform::Windows, "更新清单至少需要 setup 或 portable 产物"},
      {R"({"platforms":{"macos":{"version":"1","artifacts":{"setup":{"url":"u"}}}}})", UpdatePlatform::MacOS,
       "更新清单缺少 dmg 产物"},
  };
  for (const auto& c : cases) {
    UpdateManifest manifest;
    manifest.version = "stale";
    std::string error;
    EXPECT_FALSE(parse_update_manifest(c.text, c.platform, manifest, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  UpdateManifest manifest;
  EXPECT_FALSE(parse_update_manifest("{}", UpdatePlatform::Windows, manifest, nullptr));
}

TEST(UpdateManifestParse, WrongTypesCountAsAbsentAndNumbersTruncate) {
  const struct {
    std::string entry;
    std::int64_t build;
    std::int64_t size;
    std::string_view sha256;
  } cases[] = {
      {R"("version":"1","build":"7","artifacts":{"portable":{"url":"u","size":"9","sha256":5}})", 0, 0, ""},
      {R"("version":"1","build":7.9,"artifacts":{"portable":{"url":"u","size":-0.9,"sha256":"x"}})", 7, 0, "x"},
      {R"("version":"1","build":null,"artifacts":{"portable":{"url":"u","size":true}})", 0, 0, ""},
      // Out of range saturates instead of overflowing the conversion.
      {R"("version":"1","build":1e999,"artifacts":{"portable":{"url":"u","size":1e300}})",
       std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max(), ""},
  };
  for (const auto& c : cases) {
    UpdateManifest manifest;
    std::string error;
    ASSERT_TRUE(parse_update_manifest(windows_manifest(c.entry), UpdatePlatform::Windows, manifest, &error))
        << c.entry << ": " << error;
    EXPECT_EQ(manifest.build, c.build) << c.entry;
    EXPECT_EQ(manifest.portable.size, c.size) << c.entry;
    EXPECT_EQ(manifest.portable.sha256, c.sha256) << c.entry;
  }
  // An artifact that is not an object leaves its fields empty, and a
  // "portable"-only manifest is enough.
  UpdateManifest manifest;
  ASSERT_TRUE(parse_update_manifest(
      windows_manifest(R"("version":"1","updated_at":1,"artifacts":{"setup":"x","portable":{"url":"p"}})"),
      UpdatePlatform::Windows, manifest, nullptr));
  EXPECT_TRUE(manifest.setup.url.empty());
  EXPECT_TRUE(manifest.updated_at.empty());
  EXPECT_EQ(manifest.portable.url, "p");
}

TEST(CompareVersions, OrdersDottedNumbers) {
  const struct {
    std::string_view a, b;
    int order;
  } cases[] = {
      {"1.0.10", "1.0.3", 1}, {"v1.1", "1.0.3", 1},    {"V1.1", "v1.1", 0},       {"1.0", "1.0.0", 0},
      {"1.0.3-beta", "1.0.3", 0}, {"", "0", 0},        {"", "0.0.1", -1},         {"1..2", "1.0.2", 0},
      {"1.x", "1.0", 0},      {"2", "10", -1},         {"vv1", "0", 0},           {"1.0.3", "1.0.4", -1},
      {"01.002", "1.2", 0},   {"1.2.", "1.2", 0},      {" 1", "0", 0},
      // Saturation: every longer run of digits reads as the largest number.
      {"99999999999999999999", "9223372036854775807", 0},
      {"9223372036854775806", "9223372036854775807", -1},
      {"1.99999999999999999999999", "2", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compare_versions(c.a, c.b), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(compare_versions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
  }
}

TEST(UpdateDecision, CoversEveryOutcome) {
  const auto manifest = [](std::string version, std::int64_t build, std::string min_os, bool windows_url,
                           bool dmg_url) {
    UpdateManifest m;
    m.version = std::move(version);
    m.build = build;
    m.min_os = std::move(min_os);
    if (windows_url) m.setup.url = "s";
    if (dmg_url) m.dmg.url = "d";
    return m;
  };
  const auto W = UpdatePlatform::Windows;
  const auto M = UpdatePlatform::MacOS;
  const struct {
    UpdateManifest m;
    UpdatePlatform platform;
    std::int64_t build;
    int decision;
  } cases[] = {
      {manifest("", 0, "", true, true), W, 0, kUpdateUnusable},
      {manifest("1.0.4", 0, "", false, true), W, 0, kUpdateUnusable},
      {manifest("1.0.4", 0, "", true, false), M, 0, kUpdateUnusable},
      {manifest("1.0.2", 0, "", true, false), W, 0, kUpdateCurrent},
      {manifest("1.0.3", 999, "", true, false), W, 0, kUpdateCurrent},
      {manifest("1.0.3", 999, "", true, false), W, 5, kUpdateAvailable},
      {manifest("1.0.3", 5, "", true, false), W, 5, kUpdateCurrent},
      {manifest("1.0.3", 999, "", false, true), M, 5, kUpdateCurrent},
      {manifest("1.0.4", 0, "", true, false), W, 0, kUpdateAvailable},
      {manifest("1.0.4", 0, "", false, true), M, 0, kUpdateAvailable},
      {manifest("1.0.4", 0, "10.0.19041", true, false), W, 0, kUpdateNeedsNewerOs},
      {manifest("1.0.4", 0, "10", true, false), W, 0, kUpdateAvailable},
      {manifest("1.0.4", 0, "10.0", true, false), W, 0, kUpdateAvailable},
      {manifest("1.0.4", 0, "9", true, false), W, 0, kUpdateAvailable},
      {manifest("1.0.2", 0, "11", true, false), W, 0, kUpdateCurrent},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(update_decision(c.m, c.platform, kAppVersion, kUpdateOsVersion, c.build), c.decision)
        << c.m.version << " min_os=" << c.m.min_os << " build=" << c.build;
  }
}

std::string canonical(std::string_view text) {
  std::string out;
  return canonical_manifest_json(text, out, nullptr) ? out : "FAIL";
}

TEST(CanonicalManifest, IgnoresNotationAndDropsOnlyTheRootSignature) {
  EXPECT_EQ(canonical(R"({"b":1,"signature":"x","a":{"signature":"kept","z":[1.50,2E1,"\u0041\/"]}})"),
            R"({"a":{"signature":"kept","z":[1.5,20,"A/"]},"b":1})");
  const std::string_view same[] = {
      R"({"a":[true,null,false],"n":0.1,"s":"\u00e9\t"})",
      " {\n \"s\" : \"\xC3\xA9\\t\" , \"n\" : 1e-1 ,\"a\" : [ true , null , false ] ,\"signature\":\"q\"}\n",
      R"({"n":0.10000,"a":[true,null,false],"s":"é\u0009","n":0.1})",
  };
  for (const auto text : same) EXPECT_EQ(canonical(text), canonical(same[0])) << text;
  EXPECT_EQ(canonical(R"({"x":"\u0001\u007f","k":"\"\\"})"), "{\"k\":\"\\\"\\\\\",\"x\":\"\\u0001\x7F\"}");

  std::string out = "kept";
  std::string error;
  EXPECT_FALSE(canonical_manifest_json("[]", out, &error));
  EXPECT_EQ(error, "更新清单不是合法的 JSON 对象");
}

TEST(ManifestSignature, VerifiesOverTheCanonicalForm) {
  const auto keys = make_key_pair(7);
  const std::string signed_text = sign_manifest(kManifest, keys);
  std::string error;
  EXPECT_TRUE(verify_manifest_signature(signed_text, keys.public_key, &error)) << error;

  // Re-served with other whitespace and member order: still valid.
  JsonValue root;
  ASSERT_TRUE(parse_json(signed_text, root));
  std::string reserved = "{\n  \"signature\": " + json_quote(root.members["signature"].text);
  for (auto it = root.members.rbegin(); it != root.members.rend(); ++it) {
    if (it->first == "signature") continue;
    std::string value;
    write_json(it->second, value);
    reserved += ",\n  " + json_quote(it->first) + " : " + value;
  }
  reserved += "\n}";
  EXPECT_TRUE(verify_manifest_signature(reserved, keys.public_key, &error)) << error;

  const auto other = make_key_pair(8);
  EXPECT_FALSE(verify_manifest_signature(signed_text, other.public_key, &error));
  EXPECT_EQ(error, "更新清单签名验证失败（公钥不匹配或清单被改动）");
}

TEST(ManifestSignature, RejectsEditsAfterSigning) {
  const auto keys = make_key_pair(7);
  JsonValue root;
  ASSERT_TRUE(parse_json(sign_manifest(kManifest, keys), root));
  const auto edited = [&root](auto edit) {
    JsonValue copy = root;
    edit(copy);
    std::string text;
    write_json(copy, text);
    return text;
  };
  const std::string texts[] = {
      edited([](JsonValue& r) { r.members["updated_at"].text = "2026-03-02"; }),
      edited([](JsonValue& r) { r.members["extra"] = JsonValue::make_bool(true); }),
      edited([](JsonValue& r) { r.members.erase("updated_at"); }),
      edited([](JsonValue& r) {
        r.members["platforms"].members["windows"].members["artifacts"].members["setup"].members["url"].text =
            "https://evil.test/x.exe";
      }),
      edited([](JsonValue& r) { r.members["platforms"].members["windows"].members["build"].number = 105; }),
      edited([](JsonValue& r) { r.members["platforms"].members["windows"].members["signature"] = r.members["signature"]; }),
  };
  for (const auto& text : texts) {
    std::string error;
    EXPECT_FALSE(verify_manifest_signature(text, keys.public_key, &error)) << text;
    EXPECT_EQ(error, "更新清单签名验证失败（公钥不匹配或清单被改动）");
  }
}

TEST(ManifestSignature, AcceptsEveryBase64Spelling) {
  const auto keys = make_key_pair(3);
  const auto spell = [](auto transform) {
    return [transform](const std::array<unsigned char, 64>& signature) {
      std::string text = encode_base64(signature.data(), signature.size());
      transform(text);
      return text;
    };
  };
  const auto url_safe = [](std::string& t) {
    for (char& c : t) c = c == '+' ? '-' : c == '/' ? '_' : c;
  };
  const auto no_padding = [](std::string& t) { t.erase(t.find('=')); };
  const auto line_breaks = [](std::string& t) {
    for (std::size_t i = 76; i > 0; i -= 19) t.insert(i, i % 2 ? "\r\n" : "\n \t");
  };
  const std::string texts[] = {
      sign_manifest(kManifest, keys, spell(url_safe)),
      sign_manifest(kManifest, keys, spell(no_padding)),
      sign_manifest(kManifest, keys, spell([&](std::string& t) { url_safe(t); no_padding(t); line_breaks(t); })),
      sign_manifest(kManifest, keys, spell([](std::string& t) { t += "==garbage"; })),
  };
  for (const auto& text : texts) {
    std::string error;
    EXPECT_TRUE(verify_manifest_signature(text, keys.public_key, &error)) << text << ": " << error;
  }
}

TEST(ManifestSignature, RejectsMissingOrMisSizedSignaturesBeforeCryptography) {
  // The key is all zeros: had the verifier run, its text would be another.
  const std::array<unsigned char, 32> no_key{};
  const std::string b63 = encode_base64(std::vector<unsigned char>(63, 1));
  const std::string b65 = encode_base64(std::vector<unsigned char>(65, 1));
  const struct {
    std::string text;
    std::string_view error;
  } cases[] = {
      {"nope", "更新清单不是合法的 JSON 对象"},
      {"\"s\"", "更新清单不是合法的 JSON 对象"},
      {"{}", "更新清单缺少 signature"},
      {R"({"signature":""})", "更新清单缺少 signature"},
      {R"({"signature":64})", "更新清单缺少 signature"},
      {R"({"a":{"signature":"AAAA"}})", "更新清单缺少 signature"},
      {R"({"signature":"====AAAA"})", "更新清单的 signature 不是 64 字节 Ed25519 签名"},
      {R"({"signature":")" + b63 + "\"}", "更新清单的 signature 不是 64 字节 Ed25519 签名"},
      {R"({"signature":")" + b65 + "\"}", "更新清单的 signature 不是 64 字节 Ed25519 签名"},
      {R"({"signature":")" + encode_base64(std::vector<unsigned char>(64, 1)) + "\"}",
       "更新清单签名验证失败（公钥不匹配或清单被改动）"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(verify_manifest_signature(c.text, no_key, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

// Any single changed byte of the signed message, or of the signature, must
// fail: a property over every position and a few replacement bytes.
TEST(ManifestSignature, NoSingleByteChangeVerifies) {
  const auto keys = make_key_pair(11);
  std::string message;
  ASSERT_TRUE(canonical_manifest_json(kManifest, message, nullptr));
  const std::array<unsigned char, 64> signature = testing::sign_bytes(message, keys);
  const auto verifies = [&keys](std::string_view body, const std::array<unsigned char, 64>& sig) {
    // The message is already canonical, so wrapping it back into the object
    // keeps its bytes when it still parses.
    std::string text(body);
    if (text.size() < 2 || text.back() != '}') return false;
    text.pop_back();
    text += std::string(text.size() > 1 ? "," : "") + "\"signature\":\"" +
            encode_base64(sig.data(), sig.size()) + "\"}";
    return verify_manifest_signature(text, keys.public_key, nullptr);
  };
  ASSERT_TRUE(verifies(message, signature));
  int checked = 0;
  for (std::size_t i = 0; i < message.size(); ++i) {
    for (const unsigned char flip : {0x01, 0x20, 0x80}) {
      std::string changed = message;
      changed[i] = static_cast<char>(changed[i] ^ flip);
      std::string reparsed;
      // Flips that the canonical writer would undo (none should exist) or
      // that break the JSON are refused either way.
      EXPECT_FALSE(verifies(changed, signature)) << "byte " << i;
      checked += canonical_manifest_json(changed, reparsed, nullptr) && reparsed == changed;
    }
  }
  EXPECT_GT(checked, 0);
  for (std::size_t i = 0; i < signature.size(); ++i) {
    for (const unsigned char flip : {0x01, 0x40, 0x80}) {
      auto changed = signature;
      changed[i] ^= flip;
      EXPECT_FALSE(verifies(message, changed)) << "signature byte " << i;
    }
  }
}

}  // namespace
}  // namespace vesk
