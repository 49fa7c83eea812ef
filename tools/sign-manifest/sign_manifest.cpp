// Release-side companion of the updater: makes the Ed25519 key pair and signs
// update manifests over the same canonical form the program verifies.
//
//   sign-manifest keygen <secret-key-file> <public-key-file>
//   sign-manifest sign <secret-key-file> <manifest.json>
//
// Key files hold hex text: the secret file the 32-byte seed, the public file
// the 32-byte key, which is also the value of VESK_UPDATE_PUBLIC_KEY.
#include <sodium.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/json.h"
#include "update/manifest.h"
#include "update/public_key.h"

namespace {

namespace fs = std::filesystem;

std::string hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

bool read_file(const fs::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Written beside the target and renamed over it, so a failure never leaves
// half a manifest or half a key behind.
bool write_file(const fs::path& path, const std::string& bytes) {
  fs::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return false;
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) fs::remove(temporary, error);
  return !error;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "sign-manifest: %s\n", message.c_str());
  return 1;
}

int keygen(const fs::path& secret_path, const fs::path& public_path) {
  // Overwriting a release key by accident would orphan every installed copy.
  std::error_code error;
  if (fs::exists(secret_path, error) || fs::exists(public_path, error)) {
    return fail("refusing to overwrite an existing key file");
  }
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> public_key{};
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret_key{};
  std::array<unsigned char, crypto_sign_SEEDBYTES> seed{};
  crypto_sign_keypair(public_key.data(), secret_key.data());
  crypto_sign_ed25519_sk_to_seed(seed.data(), secret_key.data());
  const bool written = write_file(secret_path, hex(seed.data(), seed.size()) + "\n");
  sodium_memzero(secret_key.data(), secret_key.size());
  sodium_memzero(seed.data(), seed.size());
  if (!written) return fail("cannot write " + secret_path.string());
  fs::permissions(secret_path, fs::perms::owner_read | fs::perms::owner_write, error);
  if (!write_file(public_path, hex(public_key.data(), public_key.size()) + "\n")) {
    return fail("cannot write " + public_path.string());
  }
  std::printf("%s\n", hex(public_key.data(), public_key.size()).c_str());
  return 0;
}

int sign(const fs::path& secret_path, const fs::path& manifest_path) {
  std::string seed_text;
  std::array<unsigned char, crypto_sign_SEEDBYTES> seed{};
  if (!read_file(secret_path, seed_text) || !vesk::parse_hex_bytes(seed_text, seed.data(), seed.size())) {
    return fail("cannot read the secret key (64 hex digits) from " + secret_path.string());
  }
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> public_key{};
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret_key{};
  crypto_sign_seed_keypair(public_key.data(), secret_key.data(), seed.data());
  sodium_memzero(seed.data(), seed.size());

  std::string text;
  std::string canonical;
  std::string error;
  if (!read_file(manifest_path, text)) return fail("cannot read " + manifest_path.string());
  if (!vesk::canonical_manifest_json(text, canonical, &error)) return fail(manifest_path.string() + ": " + error);

  std::array<unsigned char, crypto_sign_BYTES> signature{};
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(canonical.data()),
                       canonical.size(), secret_key.data());
  sodium_memzero(secret_key.data(), secret_key.size());

  vesk::JsonValue root;
  vesk::parse_json(text, root);  // canonical_manifest_json has just parsed it
  root.members["signature"] = vesk::JsonValue::make_string(vesk::encode_base64(signature.data(), signature.size()));
  std::string signed_text;
  vesk::write_json(root, signed_text);
  signed_text.push_back('\n');

  // The program's own verifier has the last word.
  if (!vesk::verify_manifest_signature(signed_text, public_key, &error)) return fail("self-check failed: " + error);
  if (!write_file(manifest_path, signed_text)) return fail("cannot write " + manifest_path.string());
  std::printf("signed %s for key %s\n", manifest_path.string().c_str(), hex(public_key.data(), public_key.size()).c_str());
  return 0;
}

int run(const std::vector<fs::path>& args) {
  if (sodium_init() < 0) return fail("libsodium failed to initialise");
  if (args.size() == 4 && args[1] == "keygen") return keygen(args[2], args[3]);
  if (args.size() == 4 && args[1] == "sign") return sign(args[2], args[3]);
  std::fprintf(stderr,
               "usage: sign-manifest keygen <secret-key-file> <public-key-file>\n"
               "       sign-manifest sign <secret-key-file> <manifest.json>\n");
  return 2;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so paths outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) { return run(std::vector<fs::path>(argv, argv + argc)); }
#else
int main(int argc, char** argv) { return run(std::vector<fs::path>(argv, argv + argc)); }
#endif
