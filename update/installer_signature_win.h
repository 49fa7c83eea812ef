// Reads a file's Authenticode signature for the updater's signer check
// (update/installer_signature.h): WinVerifyTrust says whether it is intact
// and trusted, the signer certificate in its embedded PKCS#7 says who signed.
#pragma once

#include <windows.h>

#include <string>

#include "update/installer_signature.h"

namespace vesk::win {

// `file`, when given, is an open handle to `path` that WinVerifyTrust reads
// instead of opening the file again (the updater's package lock).
FileSignature read_file_signature(const std::wstring& path, HANDLE file = nullptr);

// The running executable's signature.
FileSignature read_own_signature();

// WinVerifyTrust's result, as the signer check sees it.
SignatureState signature_state(LONG trust_result);

}  // namespace vesk::win
