// The release tool as a release engineer runs it: key generation, signing,
// and the program's verifier accepting what it signed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/unit/temp_folder.h"
#include "update/manifest.h"
#include "update/public_key.h"

namespace vesk {
namespace {

constexpr std::string_view kManifest =
    R"({"platforms":{"windows":{"version":"1.0.4","artifacts":{"portable":{"url":"https://h.test/p.zip","sha256":"ab"}}}}})";

// Exit status of the tool; its stdout and stderr go to `output` when given.
// The umask is cleared so a key file's mode is what the tool asked for.
int run_tool(const std::string& arguments, const std::string& output = "/dev/null") {
  const std::string command =
      std::string("umask 000; '" VESK_SIGN_MANIFEST "' ") + arguments + " >'" + output + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::array<unsigned char, 32> read_public_key(const std::string& path) {
  std::array<unsigned char, 32> key{};
  EXPECT_TRUE(parse_hex_bytes(read_text(path), key.data(), key.size())) << path;
  return key;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

TEST(SignManifestTool, KeygenThenSignVerifiesWithTheNewKeyOnly) {
  testing::TempFolder folder;
  const std::string secret = folder.utf8() + "/release.secret";
  const std::string public_key = folder.utf8() + "/release.public";
  const std::string output = folder.utf8() + "/output.txt";
  ASSERT_EQ(run_tool("keygen " + quoted(secret) + " " + quoted(public_key), output), 0);
  // Owner-only even with an open umask, and the secret is never shown.
  struct stat info {};
  ASSERT_EQ(::stat(secret.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string first_secret = read_text(secret);
  ASSERT_EQ(first_secret.size(), 65u);
  EXPECT_EQ(read_text(output).find(first_secret.substr(0, 64)), std::string::npos);
  EXPECT_NE(read_text(output).find(read_text(public_key).substr(0, 64)), std::string::npos);
  // A second keygen must not replace a key that manifests are signed with,
  // nor a secret file that is only a link to elsewhere be written through.
  EXPECT_NE(run_tool("keygen " + quoted(secret) + " " + quoted(folder.utf8() + "/other.public")), 0);
  EXPECT_EQ(read_text(secret), first_secret);
  const std::string planted = folder.utf8() + "/planted.secret";
  ASSERT_EQ(::symlink((folder.utf8() + "/elsewhere").c_str(), planted.c_str()), 0);
  EXPECT_NE(run_tool("keygen " + quoted(planted) + " " + quoted(folder.utf8() + "/planted.public")), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.utf8() + "/elsewhere"));

  const std::string manifest = folder.write("manifest.json", kManifest);
  ASSERT_EQ(run_tool("sign " + quoted(secret) + " " + quoted(manifest)), 0);
  const std::string signed_text = read_text(manifest);
  std::string error;
  EXPECT_TRUE(verify_manifest_signature(signed_text, read_public_key(public_key), &error)) << error;
  EXPECT_FALSE(verify_manifest_signature(signed_text, update_public_key(), nullptr));

  // Signing again replaces the old signature rather than signing over it.
  ASSERT_EQ(run_tool("sign " + quoted(secret) + " " + quoted(manifest)), 0);
  EXPECT_TRUE(verify_manifest_signature(read_text(manifest), read_public_key(public_key), &error)) << error;
}

TEST(SignManifestTool, WritesASignedExpiry) {
  testing::TempFolder folder;
  const std::string dev_secret = quoted(VESK_TEST_KEYS_DIR "/dev-update.secret");
  const std::string manifest = folder.write("m.json", kManifest);
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  ASSERT_EQ(run_tool("sign --expires-in-days 90 " + dev_secret + " " + quoted(manifest)), 0);
  UpdateManifest parsed;
  std::string error;
  ASSERT_TRUE(parse_update_manifest(read_text(manifest), UpdatePlatform::Windows, parsed, &error)) << error;
  ASSERT_TRUE(parsed.expires.has_value());
  EXPECT_GE(*parsed.expires, now + 90 * 86400);
  EXPECT_LE(*parsed.expires, now + 90 * 86400 + 120);
  const std::array<unsigned char, 32> dev_key = read_public_key(VESK_TEST_KEYS_DIR "/dev-update.public");
  EXPECT_TRUE(verify_manifest_signature(read_text(manifest), dev_key, &error)) << error;

  ASSERT_EQ(run_tool("sign --expires 2030-01-02T03:04:05Z " + dev_secret + " " + quoted(manifest)), 0);
  ASSERT_TRUE(parse_update_manifest(read_text(manifest), UpdatePlatform::Windows, parsed, &error)) << error;
  EXPECT_EQ(format_utc_timestamp(parsed.expires.value_or(0)), "2030-01-02T03:04:05Z");
  EXPECT_TRUE(verify_manifest_signature(read_text(manifest), dev_key, &error)) << error;

  const std::string before = read_text(manifest);
  for (const char* bad : {"--expires-in-days 0", "--expires-in-days 9x", "--expires 2030-01-02", "--expiry 5"}) {
    EXPECT_NE(run_tool(std::string("sign ") + bad + " " + dev_secret + " " + quoted(manifest)), 0) << bad;
    EXPECT_EQ(read_text(manifest), before) << bad;
  }
}

TEST(SignManifestTool, DevelopmentKeyMatchesTheBuiltInDefault) {
  const std::array<unsigned char, 32> dev_key = read_public_key(VESK_TEST_KEYS_DIR "/dev-update.public");
  if (dev_key != update_public_key()) GTEST_SKIP() << "built with another VESK_UPDATE_PUBLIC_KEY";
  testing::TempFolder folder;
  const std::string manifest = folder.write("m.json", kManifest);
  ASSERT_EQ(run_tool("sign " + quoted(VESK_TEST_KEYS_DIR "/dev-update.secret") + " " + quoted(manifest)), 0);
  std::string error;
  EXPECT_TRUE(verify_manifest_signature(read_text(manifest), update_public_key(), &error)) << error;
}

TEST(SignManifestTool, RefusesBadInputWithoutTouchingTheManifest) {
  testing::TempFolder folder;
  const std::string bad_key = folder.write("bad.secret", "not hex\n");
  const std::string short_key = folder.write("short.secret", std::string(62, 'a'));
  const std::string not_object = folder.write("array.json", "[1,2]");
  const std::string manifest = folder.write("m.json", kManifest);
  const std::string dev_secret = VESK_TEST_KEYS_DIR "/dev-update.secret";
  const struct {
    std::string arguments;
    std::string file;
  } cases[] = {
      {"sign " + quoted(bad_key) + " " + quoted(manifest), manifest},
      {"sign " + quoted(short_key) + " " + quoted(manifest), manifest},
      {"sign " + quoted(dev_secret) + " " + quoted(not_object), not_object},
      {"sign " + quoted(dev_secret) + " " + quoted(folder.utf8() + "/missing.json"), manifest},
      {"sign " + quoted(dev_secret), manifest},
      {"verify " + quoted(dev_secret) + " " + quoted(manifest), manifest},
  };
  for (const auto& c : cases) {
    const std::string before = read_text(c.file);
    EXPECT_NE(run_tool(c.arguments), 0) << c.arguments;
    EXPECT_EQ(read_text(c.file), before) << c.arguments;
  }
}

}  // namespace
}  // namespace vesk
