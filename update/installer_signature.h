// Whether a downloaded installer may run, judged by its Authenticode
// signature against the running Vesk.exe's: a signed copy starts only an
// installer signed by the same signer (the same subject and the same
// certificate key). An unsigned running copy, a development build, skips the
// check. Reading the signatures is Windows' job (installer_signature_win.cpp).
#pragma once

#include <string>

namespace vesk {

inline constexpr char kInstallerSignerMismatchText[] = "更新包的签名与当前版本不一致";

// What WinVerifyTrust said about a file's embedded signature.
enum class SignatureState {
  unsigned_file,    // no Authenticode signature at all
  verified,         // intact, and its chain reaches a trusted root
  untrusted_chain,  // intact, but its chain ends at a root this machine does not trust
  broken,           // anything else: altered bytes, revoked or malformed
};

struct CodeSigner {
  std::string subject;     // the signer certificate's subject, as text
  std::string public_key;  // its SubjectPublicKeyInfo key bits, hex
  bool operator==(const CodeSigner&) const = default;
};

struct FileSignature {
  SignatureState state = SignatureState::unsigned_file;
  CodeSigner signer;  // empty when no signer certificate could be read
};

enum class InstallerVerdict {
  unchecked,  // the running copy is unsigned: nothing to compare with
  accepted,
  refused,
};

// An intact signature by the running copy's signer passes even when the
// chain is not trusted here: the pinned key is what links the two, and only
// its holder can make such a signature.
InstallerVerdict judge_installer_signature(const FileSignature& running, const FileSignature& installer);

}  // namespace vesk
