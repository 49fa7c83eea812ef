// The installer signer check's Windows half under Wine: WinVerifyTrust and
// the signer certificate read from real Authenticode signatures (fixtures
// made by make_signature_fixtures), judged against a signed running copy.
//
// How far Wine's WinVerifyTrust goes (Wine 8): it finds a missing signature
// (TRUST_E_NOSIGNATURE) and altered bytes (TRUST_E_BAD_DIGEST), but accepts
// a self-signed certificate as if its root were trusted, so the
// untrusted-chain result of real Windows is never seen here.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/strings.h"
#include "update/download_win.h"
#include "update/installer_signature_win.h"

namespace vesk::win {
namespace {

// ctest hands over Unix paths; Wine reaches them through Z:.
std::wstring fixture(const char* name) {
  std::wstring path = to_utf16(std::string("Z:") + VESK_SIGNATURE_FIXTURES + "/" + name);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

TEST(InstallerSignature, ReadsRealSignaturesAndJudgesThemAgainstTheRunningCopy) {
  const FileSignature a = read_file_signature(fixture("signed-a.exe"));
  const FileSignature b = read_file_signature(fixture("signed-b.exe"));
  const FileSignature altered = read_file_signature(fixture("altered-a.exe"));
  const FileSignature none = read_file_signature(fixture("unsigned.exe"));

  EXPECT_EQ(a.state, SignatureState::verified);  // real Windows: untrusted_chain (self-signed)
  EXPECT_EQ(a.signer.subject, "CN=Vesk Test Signer, O=Vesk");
  EXPECT_NE(a.signer.public_key.find("1.2.840.113549.1.1.1:"), std::string::npos) << a.signer.public_key;
  EXPECT_EQ(b.signer.subject, a.signer.subject);
  EXPECT_NE(b.signer.public_key, a.signer.public_key);
  EXPECT_EQ(altered.state, SignatureState::broken);
  EXPECT_EQ(none.state, SignatureState::unsigned_file);
  EXPECT_TRUE(none.signer.subject.empty());

  EXPECT_EQ(judge_installer_signature(a, read_file_signature(fixture("signed-a.exe"))), InstallerVerdict::accepted);
  EXPECT_EQ(judge_installer_signature(a, b), InstallerVerdict::refused);
  EXPECT_EQ(judge_installer_signature(a, altered), InstallerVerdict::refused);
  EXPECT_EQ(judge_installer_signature(a, none), InstallerVerdict::refused);
  EXPECT_EQ(judge_installer_signature(none, b), InstallerVerdict::unchecked);
}

// As the updater checks a download: through the package lock, after the
// hash has read the handle to its end.
TEST(InstallerSignature, ReadsThroughThePackageLockAfterHashing) {
  UniqueFile lock;
  ASSERT_TRUE(lock_package(fixture("signed-a.exe"), lock));
  std::string sha256;
  ASSERT_TRUE(sha256_handle_hex(lock.get(), sha256));
  const FileSignature locked = read_file_signature(fixture("signed-a.exe"), lock.get());
  EXPECT_EQ(locked.state, SignatureState::verified);
  EXPECT_EQ(judge_installer_signature(read_file_signature(fixture("signed-a.exe")), locked), InstallerVerdict::accepted);
}

TEST(InstallerSignature, TheTestProgramItselfIsUnsignedSoTheCheckIsSkipped) {
  EXPECT_EQ(read_own_signature().state, SignatureState::unsigned_file);
}

}  // namespace
}  // namespace vesk::win
