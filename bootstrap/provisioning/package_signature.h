// The maker's signature on what the program starts and installs from the server: the setting
// read from the phone's own config.ini (read-only, so nobody else can change it) or, when the
// phone is gone, from the program's copy that the relaunch proved to hold the phone's bytes, and
// the check of one held file against it, traced.
#pragma once

#include <string>

#include "common/core/signature_policy.h"
#include "common/win/handles.h"
#include "common/win/held_file.h"

// The [SIGNATURE] section of |phoneConfig| (the phone's config.ini) or, when that cannot be read
// (the phone changed mode or was pulled), of |copyConfig|, with one trace line: what is required,
// that packages are not verified, or that the setting cannot be applied; a line more names the
// copy when it was read.
qv::SignaturePolicy ReadSignaturePolicy(const std::wstring& phoneConfig, const std::wstring& copyConfig);

// True when |file| (held, so that it cannot change before its use has begun) may be used under
// |policy|: always when nothing is required. Otherwise the verdict is traced: the signer of a file
// accepted, or why it is refused, WinVerifyTrust's result and the signer found.
bool IsSignedByMaker(const qv::SignaturePolicy& policy, const qv::CHeldFile& file);

// Readies the system's signature check while the run does other things: the first check of a
// signed file in a process starts the certificate machinery (a few hundred milliseconds under
// Wine), every later one takes a few. Inspects a file on a thread of its own and drops the result:
// nothing is decided on it. The file should be one nobody else tests or replaces meanwhile (the
// program's own, which the maker signs with the package).
class CSignatureWarmUp {
 public:
  CSignatureWarmUp() = default;
  ~CSignatureWarmUp() { Finish(); }
  CSignatureWarmUp(const CSignatureWarmUp&) = delete;
  CSignatureWarmUp& operator=(const CSignatureWarmUp&) = delete;

  // Starts inspecting |path| unless a warm-up runs or ran already.
  void Start(const std::wstring& path);
  // Waits until the inspection is over; at once when none runs.
  void Finish();

 private:
  static DWORD WINAPI Run(void* self);

  std::wstring m_strPath;
  qv::UniqueHandle m_hThread;
  bool m_bStarted = false;
};
