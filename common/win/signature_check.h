// The system's check of a file's Authenticode signature, on a handle the caller holds so that the
// file cannot change between the check and its use.
#pragma once

#include <windows.h>

#include <string>

#include "common/core/signature_policy.h"

namespace qv {

// WinVerifyTrust with the generic verify action on the open |file| (|path| names it for the
// system): no user interface, no revocation check, no network retrieval. The signer's common
// name and the SHA-256 of its chain's root come from the verified state; empty when none was
// found.
SignatureFindings InspectSignature(HANDLE file, const std::wstring& path);

// "0x800B0100" and the like, for trace lines.
std::wstring TrustResultText(uint32_t result);

}  // namespace qv
