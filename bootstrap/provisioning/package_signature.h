// The maker's signature on what the program starts and installs from the server: the setting
// read from the phone's own config.ini (read-only, so nobody else can change it), and the check
// of one held file against it, traced when it refuses.
#pragma once

#include <string>

#include "common/core/signature_policy.h"
#include "common/win/held_file.h"

// The [SIGNATURE] section of |phoneConfig| (the phone's config.ini), with one trace line: what is
// required, or that packages are not verified; a malformed part is traced too.
qv::SignaturePolicy ReadSignaturePolicy(const std::wstring& phoneConfig);

// True when |file| (held, so that it cannot change before its use has begun) may be used under
// |policy|: always when nothing is required. Otherwise the verdict is traced: the signer of a file
// accepted, or why it is refused, WinVerifyTrust's result and the signer found.
bool IsSignedByMaker(const qv::SignaturePolicy& policy, const qv::CHeldFile& file);
