// Reads the maker's signature setting and checks held files with the system's signature check.
#include "bootstrap/provisioning/package_signature.h"

#include <windows.h>

#include <vector>

#include "bootstrap/provisioning/support.h"
#include "common/win/signature_check.h"

namespace {

// A value of any length the profile reader gives (a list of fingerprints is longer than the 259
// characters of the usual read).
std::wstring ReadLongIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  std::vector<wchar_t> value(4096);
  ::GetPrivateProfileStringW(section, key, L"", value.data(), static_cast<DWORD>(value.size()), file.c_str());
  value.back() = L'\0';
  return value.data();
}

const wchar_t* VerdictText(qv::SignatureVerdict verdict) {
  switch (verdict) {
    case qv::SignatureVerdict::kNotValid:
      return L"no valid signature";
    case qv::SignatureVerdict::kOtherPublisher:
      return L"another publisher";
    case qv::SignatureVerdict::kOtherRoot:
      return L"a root that is not pinned";
    case qv::SignatureVerdict::kBadSetting:
      return L"a malformed setting";
    case qv::SignatureVerdict::kNotRequired:
    case qv::SignatureVerdict::kAccepted:
      break;
  }
  return L"accepted";
}

}  // namespace

qv::SignaturePolicy ReadSignaturePolicy(const std::wstring& phoneConfig) {
  qv::SignaturePolicy policy = qv::ParseSignaturePolicy(ReadLongIniString(phoneConfig, L"SIGNATURE", L"publisher"),
                                                        ReadLongIniString(phoneConfig, L"SIGNATURE", L"root_sha256"));
  for (const std::string& problem : policy.problems) {
    WriteTraceLog(FormatText(L"[SIGNATURE] %ls\r\n", std::wstring(problem.begin(), problem.end()).c_str()));
  }
  if (!policy.IsRequired()) {
    WriteTraceLog(L"[SIGNATURE] The phone names no publisher: packages are not verified\r\n");
  } else {
    WriteTraceLog(FormatText(L"[SIGNATURE] Packages must be signed by [%ls], %u pinned root(s)\r\n",
                             policy.publisher.c_str(), static_cast<unsigned>(policy.roots.size())));
  }
  return policy;
}

bool IsSignedByMaker(const qv::SignaturePolicy& policy, const qv::CHeldFile& file) {
  if (!policy.IsRequired()) return true;
  qv::SignatureFindings found;
  if (file.IsHeld()) {
    found = qv::InspectSignature(file.Handle(), file.Path());
  } else {
    found.trustResult = static_cast<uint32_t>(HRESULT_FROM_WIN32(file.Error()));
  }
  const qv::SignatureVerdict verdict = qv::JudgeSignature(policy, found);
  if (qv::IsSignatureAccepted(verdict)) return true;
  WriteTraceLog(FormatText(L"[SIGNATURE] [%ls] refused, %ls: WinVerifyTrust %ls, signer [%ls]\r\n",
                           file.Path().c_str(), VerdictText(verdict), qv::TrustResultText(found.trustResult).c_str(),
                           found.signer.c_str()));
  return false;
}
