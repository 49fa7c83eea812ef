#include "update/installer_signature.h"

namespace vesk {

InstallerVerdict judge_installer_signature(const FileSignature& running, const FileSignature& installer) {
  if (running.state == SignatureState::unsigned_file) return InstallerVerdict::unchecked;
  // A running copy that carries a signature pins its signer, even one this
  // machine does not trust; one whose signer cannot be read pins nothing
  // that an installer could match.
  if (running.signer.subject.empty() || running.signer.public_key.empty()) return InstallerVerdict::refused;
  const bool intact = installer.state == SignatureState::verified || installer.state == SignatureState::untrusted_chain;
  return intact && installer.signer == running.signer ? InstallerVerdict::accepted : InstallerVerdict::refused;
}

}  // namespace vesk
