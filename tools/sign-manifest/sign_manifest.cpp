// Release-side companion of the updater: makes the Ed25519 key pair and signs
// update manifests over the same canonical form the program verifies.
//
//   sign-manifest keygen <secret-key-file> <public-key-file>
//   sign-manifest sign [--expires-in-days N | --expires <UTC time>] <secret-key-file> <manifest.json>
//
// Key files hold hex text: the secret file the 32-byte seed, the public file
// the 32-byte key, which is also the value of VESK_UPDATE_PUBLIC_KEY. The
// secret file is created readable by its owner only and never replaced; its
// contents are never printed.
//
// --expires-in-days N writes "expires" N days (1 to 3650) from now, in UTC,
// into the manifest before signing; --expires takes the time itself
// ("2026-06-01T00:00:00Z"). Without either, the manifest keeps whatever
// "expires" it has, or none.
#include <sodium.h>

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <cstdlib>
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

// The secret key file, created new with owner-only access in the same call
// that creates it: there is no moment in which anyone else may open it.
// False when it exists already or cannot be written (nothing is left behind).
#ifdef _WIN32
bool write_secret_file(const fs::path& path, const std::string& bytes) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  std::vector<unsigned char> user(256);
  DWORD size = 0;
  const bool have_user = ::GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
  ::CloseHandle(token);
  wchar_t* sid = nullptr;
  if (!have_user || !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) return false;
  // Protected (no inherited entries), full access for this user alone.
  const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
  ::LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ::LocalFree(descriptor);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && ::FlushFileBuffers(file);
  ::CloseHandle(file);
  if (!ok) ::DeleteFileW(path.c_str());
  return ok;
}
#else
bool write_secret_file(const fs::path& path, const std::string& bytes) {
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(file, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  const bool ok = done == bytes.size() && ::fsync(file) == 0;
  if (::close(file) != 0 || !ok) {
    ::unlink(path.c_str());
    return false;
  }
  return true;
}
#endif

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
  std::string seed_text = hex(seed.data(), seed.size()) + "\n";
  const bool written = write_secret_file(secret_path, seed_text);
  sodium_memzero(seed_text.data(), seed_text.size());
  sodium_memzero(secret_key.data(), secret_key.size());
  sodium_memzero(seed.data(), seed.size());
  if (!written) return fail("cannot create " + secret_path.string() + " (it must not exist yet)");
  if (!write_file(public_path, hex(public_key.data(), public_key.size()) + "\n")) {
    return fail("cannot write " + public_path.string());
  }
  std::printf("%s\n", hex(public_key.data(), public_key.size()).c_str());
  return 0;
}

int sign(const fs::path& secret_path, const fs::path& manifest_path, const std::optional<std::string>& expires) {
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
  if (expires) {
    // The expiry is a root member like any other, so the signature covers it.
    vesk::JsonValue root;
    if (!vesk::parse_json(text, root) || !root.is_object()) {
      return fail(manifest_path.string() + ": 更新清单不是合法的 JSON 对象");
    }
    root.members["expires"] = vesk::JsonValue::make_string(*expires);
    text.clear();
    vesk::write_json(root, text);
  }
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

// The "expires" text an option asks for; false for a bad value.
bool expires_option(const std::string& option, const std::string& value, std::optional<std::string>& out) {
  std::int64_t seconds = 0;
  if (option == "--expires") {
    if (!vesk::parse_utc_timestamp(value, seconds)) return false;
    out = value;
    return true;
  }
  if (option != "--expires-in-days") return false;
  char* end = nullptr;
  errno = 0;
  const long days = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || errno != 0 || days < 1 || days > 3650) return false;
  out = vesk::format_utc_timestamp(static_cast<std::int64_t>(std::time(nullptr)) + days * 86400LL);
  return true;
}

int run(const std::vector<fs::path>& args) {
  if (sodium_init() < 0) return fail("libsodium failed to initialise");
  if (args.size() == 4 && args[1] == "keygen") return keygen(args[2], args[3]);
  if (args.size() == 4 && args[1] == "sign") return sign(args[2], args[3], std::nullopt);
  if (args.size() == 6 && args[1] == "sign") {
    std::optional<std::string> expires;
    if (!expires_option(args[2].string(), args[3].string(), expires)) {
      return fail("bad " + args[2].string() + " value: " + args[3].string());
    }
    return sign(args[4], args[5], expires);
  }
  std::fprintf(stderr,
               "usage: sign-manifest keygen <secret-key-file> <public-key-file>\n"
               "       sign-manifest sign [--expires-in-days N | --expires <UTC time>] <secret-key-file> "
               "<manifest.json>\n");
  return 2;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so paths outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) { return run(std::vector<fs::path>(argv, argv + argc)); }
#else
int main(int argc, char** argv) { return run(std::vector<fs::path>(argv, argv + argc)); }
#endif
