// WinVerifyTrust and the signer's certificate from its provider data; the decision on them is
// the portable one.
#include "common/win/signature_check.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

namespace qv {

namespace {

std::wstring CommonNameOf(PCCERT_CONTEXT certificate) {
  wchar_t name[256] = {};
  const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0,
                                            const_cast<char*>(szOID_COMMON_NAME), name, 256);
  name[255] = L'\0';
  return length > 1 ? std::wstring(name) : std::wstring();
}

std::string Sha256Of(PCCERT_CONTEXT certificate) {
  BYTE hash[32] = {};
  DWORD size = sizeof(hash);
  if (!::CryptHashCertificate2(L"SHA256", 0, nullptr, certificate->pbCertEncoded, certificate->cbCertEncoded, hash,
                               &size) ||
      size != sizeof(hash)) {
    return std::string();
  }
  std::string hex;
  for (BYTE b : hash) {
    hex += "0123456789abcdef"[b >> 4];
    hex += "0123456789abcdef"[b & 0xF];
  }
  return hex;
}

// Whether the file has a [SIGNATURE] section (in any letter case), even an empty one: a section
// without a usable publisher refuses, where no section requires nothing.
bool HasSignatureSection(const std::wstring& iniPath) {
  std::vector<wchar_t> names(32768);
  const DWORD length =
      ::GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), iniPath.c_str());
  names.back() = L'\0';
  names[names.size() - 2] = L'\0';
  for (DWORD at = 0; at < length && names[at] != L'\0';) {
    const wchar_t* name = names.data() + at;
    if (::CompareStringOrdinal(name, -1, L"SIGNATURE", -1, TRUE) == CSTR_EQUAL) return true;
    at += static_cast<DWORD>(::wcslen(name)) + 1;
  }
  return false;
}

}  // namespace

SignatureFindings InspectSignature(HANDLE file, const std::wstring& path) {
  SignatureFindings found;
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path.c_str();
  fileInfo.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  found.trustResult = static_cast<uint32_t>(::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  if (CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData)) {
    if (CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)) {
      CRYPT_PROVIDER_CERT* leaf = ::WTHelperGetProvCertFromChain(signer, 0);
      if (leaf && leaf->pCert) found.signer = CommonNameOf(leaf->pCert);
      CRYPT_PROVIDER_CERT* root =
          signer->csCertChain > 0 ? ::WTHelperGetProvCertFromChain(signer, signer->csCertChain - 1) : nullptr;
      if (root && root->pCert) found.rootSha256 = Sha256Of(root->pCert);
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return found;
}

SignaturePolicy ReadSignatureSetting(const std::wstring& iniPath) {
  // Values of any length the profile reader gives: a list of fingerprints is longer than the 259
  // characters of the usual read.
  auto read = [&iniPath](const wchar_t* key) {
    std::vector<wchar_t> value(4096);
    ::GetPrivateProfileStringW(L"SIGNATURE", key, L"", value.data(), static_cast<DWORD>(value.size()), iniPath.c_str());
    value.back() = L'\0';
    return std::wstring(value.data());
  };
  return ParseSignaturePolicy(read(L"publisher"), read(L"root_sha256"), HasSignatureSection(iniPath));
}

bool IsHeldFileSignedByMaker(const SignaturePolicy& policy, const CHeldFile& file,
                             void (*trace)(const std::wstring& line)) {
  if (!policy.IsRequired()) return true;
  SignatureFindings found;
  if (file.IsHeld()) {
    found = InspectSignature(file.Handle(), file.Path());
  } else {
    found.trustResult = static_cast<uint32_t>(HRESULT_FROM_WIN32(file.Error()));
  }
  const SignatureVerdict verdict = JudgeSignature(policy, found);
  trace(DescribeSignatureCheck(file.Path(), verdict, found));
  return IsSignatureAccepted(verdict);
}

}  // namespace qv
