#include "update/installer_signature_win.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "update/win_support.h"

namespace vesk::win {
namespace {

struct StoreCloser {
  void operator()(HCERTSTORE store) const { ::CertCloseStore(store, 0); }
};
struct MessageCloser {
  void operator()(HCRYPTMSG message) const { ::CryptMsgClose(message); }
};
struct CertificateFreer {
  void operator()(PCCERT_CONTEXT certificate) const { ::CertFreeCertificateContext(certificate); }
};
using UniqueStore = UniqueResource<HCERTSTORE, StoreCloser>;
using UniqueMessage = UniqueResource<HCRYPTMSG, MessageCloser>;
using UniqueCertificate = UniqueResource<PCCERT_CONTEXT, CertificateFreer>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

LONG verify_trust(const std::wstring& path, HANDLE file) {
  WINTRUST_FILE_INFO file_info{};
  file_info.cbStruct = sizeof file_info;
  file_info.pcwszFilePath = path.c_str();
  file_info.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // Revocation only from what this machine has cached: the check must not
  // wait on the network after the download.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const HWND no_ui = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG result = ::WinVerifyTrust(no_ui, &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(no_ui, &action, &data);
  return result;
}

std::string hex(const BYTE* bytes, DWORD count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (DWORD i = 0; i < count; ++i) out += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
  return out;
}

// The certificate of the first signer of the file's embedded signature.
CodeSigner read_signer(const std::wstring& path) {
  HCERTSTORE store_handle = nullptr;
  HCRYPTMSG message_handle = nullptr;
  if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store_handle,
                          &message_handle, nullptr)) {
    return {};
  }
  UniqueStore store(store_handle);
  UniqueMessage message(message_handle);
  DWORD size = 0;
  if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return {};
  std::vector<BYTE> buffer(size);
  if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return {};
  const auto* signer_info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
  CERT_INFO wanted{};
  wanted.Issuer = signer_info->Issuer;
  wanted.SerialNumber = signer_info->SerialNumber;
  UniqueCertificate certificate(
      ::CertFindCertificateInStore(store.get(), kEncoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
  if (!certificate) return {};
  const CERT_INFO& info = *certificate.get()->pCertInfo;
  CodeSigner signer;
  const DWORD length = ::CertNameToStrW(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&info.Subject),
                                        CERT_X500_NAME_STR, nullptr, 0);
  if (length > 1) {
    std::wstring subject(length, L'\0');
    ::CertNameToStrW(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&info.Subject), CERT_X500_NAME_STR,
                     subject.data(), length);
    subject.resize(length - 1);
    signer.subject = to_utf8(subject);
  }
  const CERT_PUBLIC_KEY_INFO& key = info.SubjectPublicKeyInfo;
  if (key.PublicKey.cbData > 0) {
    signer.public_key = std::string(key.Algorithm.pszObjId ? key.Algorithm.pszObjId : "") + ":" +
                        hex(key.PublicKey.pbData, key.PublicKey.cbData);
  }
  return signer;
}

}  // namespace

SignatureState signature_state(LONG trust_result) {
  switch (static_cast<HRESULT>(trust_result)) {
    case S_OK:
      return SignatureState::verified;
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN:
      return SignatureState::unsigned_file;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
      return SignatureState::untrusted_chain;
    default:
      return SignatureState::broken;
  }
}

FileSignature read_file_signature(const std::wstring& path, HANDLE file) {
  FileSignature signature;
  const LONG result = verify_trust(path, file);
  signature.state = signature_state(result);
  signature.signer = read_signer(path);
  // A signature WinVerifyTrust could not even find, though the file embeds
  // one, is not the absence of a signature.
  if (signature.state == SignatureState::unsigned_file && !signature.signer.subject.empty()) {
    signature.state = SignatureState::broken;
  }
  update_log("signature of %s: trust 0x%08lx, signer %s", to_utf8(path).c_str(), static_cast<unsigned long>(result),
             signature.signer.subject.empty() ? "(none)" : signature.signer.subject.c_str());
  return signature;
}

FileSignature read_own_signature() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return read_file_signature(path);
}

}  // namespace vesk::win
