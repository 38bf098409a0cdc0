// libFuzzer target of the maker's signature setting, read from the phone's configuration, and of
// the verdict on what the system's check found.
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>

#include "common/core/signature_policy.h"
#include "tests/native/fuzz/fuzz_input.h"

using namespace qv;
using qv::fuzz::Check;
using qv::fuzz::IsBlank;
using qv::fuzz::Shown;

namespace {

bool IsBlankText(const std::wstring& text) { return text.find_first_not_of(L" \t") == std::wstring::npos; }

// The items of the root list as the setting defines them: split at every comma, blanks around each
// dropped; a blank list has none.
std::vector<std::wstring> Items(const std::wstring& list) {
  std::vector<std::wstring> items;
  if (IsBlankText(list)) return items;
  std::wstring item;
  for (wchar_t c : list + L",") {
    if (c != L',') {
      item += c;
      continue;
    }
    size_t begin = 0, end = item.size();
    while (begin < end && IsBlank(item[begin])) ++begin;
    while (end > begin && IsBlank(item[end - 1])) --end;
    items.push_back(item.substr(begin, end - begin));
    item.clear();
  }
  return items;
}

bool IsFingerprint(const std::wstring& item) {
  if (item.size() != 64) return false;
  for (wchar_t c : item) {
    if (!std::iswxdigit(c) || c > 0x7F) return false;
  }
  return true;
}

std::string Lower(const std::wstring& item) {
  std::string lower;
  for (wchar_t c : item) lower += static_cast<char>(c >= L'A' && c <= L'F' ? c - L'A' + L'a' : c);
  return lower;
}

void CheckSetting(const std::wstring& publisher, const std::wstring& rootList, bool present, const SignatureFindings& found) {
  const SignaturePolicy policy = ParseSignaturePolicy(publisher, rootList, present);
  const std::string shown = Shown({publisher, rootList});
  const SignatureVerdict verdict = JudgeSignature(policy, found);
  const std::vector<std::wstring> lines = DescribeSignaturePolicy(policy);
  Check(lines.size() == 1, "the setting is described in one trace line", shown);

  if (!present) {
    Check(!policy.IsRequired() && verdict == SignatureVerdict::kNotRequired && policy.problems.empty(),
          "without the section nothing is required", shown);
    return;
  }
  // Applicable exactly when the publisher is not blank and every item of the list is a fingerprint.
  const std::vector<std::wstring> items = Items(rootList);
  bool applicable = !IsBlankText(publisher);
  for (const std::wstring& item : items) applicable = applicable && IsFingerprint(item);
  Check(policy.refuseAll == !applicable, "a setting is refused exactly when it cannot be applied", shown);
  Check(policy.refuseAll == !policy.problems.empty(), "a refused setting says why", shown);
  Check(policy.IsRequired(), "with the section a signature is always required", shown);
  Check(policy.roots.size() + (policy.problems.size() - (IsBlankText(publisher) ? 1 : 0)) == items.size(),
        "every item of the list is a pinned root or a problem", shown);
  for (const std::string& root : policy.roots) {
    Check(root.size() == 64 && root.find_first_not_of("0123456789abcdef") == std::string::npos,
          "a pinned root is 64 lower-case hex digits", shown);
  }
  if (policy.refuseAll) {
    Check(verdict == SignatureVerdict::kBadSetting && !IsSignatureAccepted(verdict),
          "a setting that cannot be applied refuses every file", shown);
    Check(lines[0].find(L"every file is refused") != std::wstring::npos, "the refusal is traced", shown);
    return;
  }
  Check(!IsBlank(policy.publisher.front()) && !IsBlank(policy.publisher.back()), "the publisher is kept without blanks",
        shown);
  if (IsSignatureAccepted(verdict)) {
    Check(found.trustResult == 0 && found.signer == policy.publisher, "only a valid signature of the publisher passes",
          shown);
    if (!items.empty()) {
      bool pinned = false;
      for (const std::wstring& item : items) pinned = pinned || Lower(item) == found.rootSha256;
      Check(pinned, "only a pinned root passes", shown);
    }
  }
  // The maker's own files pass: a valid signature by the publisher under each root the list pins,
  // given as the system reports it (lower-case).
  SignatureFindings maker{0, policy.publisher, items.empty() ? found.rootSha256 : std::string()};
  for (const std::wstring& item : items) {
    maker.rootSha256 = Lower(item);
    Check(JudgeSignature(policy, maker) == SignatureVerdict::kAccepted, "the maker's file under a pinned root passes",
          shown);
  }
  if (items.empty()) Check(JudgeSignature(policy, maker) == SignatureVerdict::kAccepted, "any root passes unpinned", shown);
  const std::wstring line = DescribeSignatureCheck(L"C:\\x.msi", verdict, found);
  Check(line.find(L"[C:\\x.msi]") != std::wstring::npos &&
            (line.find(L" accepted, ") != std::wstring::npos) == IsSignatureAccepted(verdict),
        "the check's trace line names the file and the verdict", line);
}

void CheckTrustResultText(uint32_t result) {
  const std::wstring text = TrustResultText(result);
  Check(text.size() == 10 && text.compare(0, 2, L"0x") == 0, "a result is 0x and eight digits", text);
  Check(std::wcstoul(text.c_str() + 2, nullptr, 16) == result, "a result's text reads back", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const std::wstring publisher = input.Wide();
  const std::wstring rootList = input.Wide();
  const uint32_t bits = input.Number();
  SignatureFindings found;
  found.trustResult = bits & 1u ? bits : 0u;
  found.signer = input.Wide();
  found.rootSha256 = input.Narrow();
  CheckSetting(publisher, rootList, (bits & 2u) == 0, found);
  CheckTrustResultText(bits);
  return 0;
}
