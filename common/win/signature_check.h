// The system's check of a file's Authenticode signature, on a handle the caller holds so that the
// file cannot change between the check and its use.
#pragma once

#include <windows.h>

#include <string>

#include "common/core/signature_policy.h"
#include "common/win/held_file.h"

namespace qv {

// WinVerifyTrust with the generic verify action on the open |file| (|path| names it for the
// system): no user interface, no revocation check, no network retrieval. The signer's common
// name and the SHA-256 of its chain's root come from the verified state; empty when none was
// found.
SignatureFindings InspectSignature(HANDLE file, const std::wstring& path);

// The [SIGNATURE] section of the INI file |iniPath|, parsed; nothing is required when the file or
// the section is missing.
SignaturePolicy ReadSignatureSetting(const std::wstring& iniPath);

// True when |file|, held so that it cannot change before its use has begun, may be used under
// |policy|: always when nothing is required. Otherwise the verdict goes to |trace| as one line
// (DescribeSignatureCheck). A file that could not be held is not valid.
bool IsHeldFileSignedByMaker(const SignaturePolicy& policy, const CHeldFile& file,
                             void (*trace)(const std::wstring& line));

}  // namespace qv
