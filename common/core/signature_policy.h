// The maker's signature setting and the decision on what the system's signature check found,
// shared by the program and the update library. The setting comes from the phone's read-only
// configuration:
//   [SIGNATURE]
//   publisher=<the common name of the maker's code-signing certificate>
//   root_sha256=<64 hex digits>[,<64 hex digits>...]   (optional: the roots the chain may end in)
// Without the section nothing is required (every phone made before the setting existed). A section
// that is there but cannot be applied (no publisher, an empty one, a malformed fingerprint)
// refuses every file: a slip in the setting never turns the check off.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/core/decimal_text.h"

namespace qv {

struct SignaturePolicy {
  std::wstring publisher;          // empty (and nothing refused): packages are not verified
  std::vector<std::string> roots;  // lower-case hex SHA-256 fingerprints; empty: any root
  std::vector<std::string> problems;  // what is malformed, for the trace and the maker's checker
  // A setting that cannot be applied pins nothing the maker meant: every file is refused rather
  // than any accepted.
  bool refuseAll = false;

  bool IsRequired() const { return !publisher.empty() || refuseAll; }
};

// What the system's check reported on one file.
struct SignatureFindings {
  uint32_t trustResult = 0;  // WinVerifyTrust's result; 0 is a valid signature
  std::wstring signer;       // the signer certificate's common name; empty when none was found
  std::string rootSha256;    // the chain root's SHA-256, lower-case hex; empty when unknown
};

enum class SignatureVerdict { kNotRequired, kAccepted, kNotValid, kOtherPublisher, kOtherRoot, kBadSetting };

namespace signature_detail {

template <typename Char>
std::basic_string<Char> Trimmed(const std::basic_string<Char>& text) {
  const auto blank = [](Char c) { return c == Char(' ') || c == Char('\t'); };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// 64 hex digits in either case as lower-case narrow text; empty when |text| is not one.
inline std::string Fingerprint(const std::wstring& text) {
  if (text.size() != 64) return std::string();
  std::string hex;
  for (wchar_t c : text) {
    if (c >= L'A' && c <= L'F') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return std::string();
    hex += static_cast<char>(c);
  }
  return hex;
}

inline std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace signature_detail

// The setting from its two values as read (blanks around values and list items are dropped);
// |sectionPresent| says whether the [SIGNATURE] section is in the file at all.
inline SignaturePolicy ParseSignaturePolicy(const std::wstring& publisher, const std::wstring& rootList,
                                            bool sectionPresent) {
  using signature_detail::Trimmed;
  SignaturePolicy policy;
  if (!sectionPresent) return policy;
  policy.publisher = Trimmed(publisher);
  if (policy.publisher.empty()) {
    policy.problems.push_back(publisher.empty() ? "publisher is missing" : "publisher is empty");
    policy.refuseAll = true;
  }
  size_t start = 0;
  const std::wstring list = Trimmed(rootList);
  while (!list.empty() && start <= list.size()) {
    size_t comma = list.find(L',', start);
    if (comma == std::wstring::npos) comma = list.size();
    const std::wstring item = Trimmed(list.substr(start, comma - start));
    const std::string hex = signature_detail::Fingerprint(item);
    if (hex.empty()) {
      policy.problems.push_back("root_sha256 entry is not 64 hex digits: \"" + signature_detail::Narrow(item) + "\"");
      policy.refuseAll = true;
    } else {
      policy.roots.push_back(hex);
    }
    start = comma + 1;
  }
  return policy;
}

// The verdict on one file: accepted only with a valid signature by the named publisher (the
// common name compared exactly) whose chain ends in one of the pinned roots, when any are pinned.
inline SignatureVerdict JudgeSignature(const SignaturePolicy& policy, const SignatureFindings& found) {
  if (!policy.IsRequired()) return SignatureVerdict::kNotRequired;
  if (policy.refuseAll) return SignatureVerdict::kBadSetting;
  if (found.trustResult != 0) return SignatureVerdict::kNotValid;
  if (found.signer != policy.publisher) return SignatureVerdict::kOtherPublisher;
  if (!policy.roots.empty()) {
    for (const std::string& root : policy.roots) {
      if (root == found.rootSha256) return SignatureVerdict::kAccepted;
    }
    return SignatureVerdict::kOtherRoot;
  }
  return SignatureVerdict::kAccepted;
}

inline bool IsSignatureAccepted(SignatureVerdict verdict) {
  return verdict == SignatureVerdict::kNotRequired || verdict == SignatureVerdict::kAccepted;
}

// "0x800B0100" and the like: a WinVerifyTrust result as the trace lines give it.
inline std::wstring TrustResultText(uint32_t result) {
  std::wstring text = L"0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += L"0123456789ABCDEF"[(result >> shift) & 0xF];
  return text;
}

// The trace lines (without line ends) that say what |policy| requires: that every file is refused,
// and why, for a setting that cannot be applied; else the publisher and the number of pinned
// roots, or that packages are not verified.
inline std::vector<std::wstring> DescribeSignaturePolicy(const SignaturePolicy& policy) {
  std::vector<std::wstring> lines;
  if (policy.refuseAll) {
    std::wstring why;
    for (const std::string& problem : policy.problems) {
      why += (why.empty() ? L"" : L"; ") + std::wstring(problem.begin(), problem.end());
    }
    lines.push_back(L"[SIGNATURE] The setting cannot be applied (" + why + L"): every file is refused");
  } else if (!policy.IsRequired()) {
    lines.push_back(L"[SIGNATURE] The phone names no publisher: packages are not verified");
  } else {
    lines.push_back(L"[SIGNATURE] Packages must be signed by [" + policy.publisher + L"], " +
                    DecimalText(static_cast<long long>(policy.roots.size())) + L" pinned root(s)");
  }
  return lines;
}

// The trace line (without line end) for a file that was checked: accepted, with the signer, or
// refused, with why, WinVerifyTrust's result and the signer found.
inline std::wstring DescribeSignatureCheck(const std::wstring& path, SignatureVerdict verdict,
                                           const SignatureFindings& found) {
  const wchar_t* why = nullptr;
  switch (verdict) {
    case SignatureVerdict::kNotValid:
      why = L"no valid signature";
      break;
    case SignatureVerdict::kOtherPublisher:
      why = L"another publisher";
      break;
    case SignatureVerdict::kOtherRoot:
      why = L"a root that is not pinned";
      break;
    case SignatureVerdict::kBadSetting:
      why = L"a malformed setting";
      break;
    case SignatureVerdict::kNotRequired:
    case SignatureVerdict::kAccepted:
      return L"[SIGNATURE] [" + path + L"] accepted, signer [" + found.signer + L"]";
  }
  return L"[SIGNATURE] [" + path + L"] refused, " + why + L": WinVerifyTrust " + TrustResultText(found.trustResult) +
         L", signer [" + found.signer + L"]";
}

}  // namespace qv
