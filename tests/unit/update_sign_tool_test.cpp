// The release tool as a release engineer runs it: key generation, signing,
// and the program's verifier accepting what it signed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
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

int run_tool(const std::string& arguments) {
  const std::string command = std::string("'" VESK_SIGN_MANIFEST "' ") + arguments + " >/dev/null 2>&1";
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
  ASSERT_EQ(run_tool("keygen " + quoted(secret) + " " + quoted(public_key)), 0);
  // A second keygen must not replace a key that manifests are signed with.
  const std::string first_secret = read_text(secret);
  EXPECT_NE(run_tool("keygen " + quoted(secret) + " " + quoted(public_key)), 0);
  EXPECT_EQ(read_text(secret), first_secret);

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
