// libFuzzer target of the version texts: the configuration's and the server's versions, the file
// versions of installed drivers and agents, and the string tables of a version resource.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bootstrap/core/text_util.h"
#include "bootstrap/core/version_text.h"
#include "tests/native/fuzz/fuzz_input.h"
#include "updateclient/core/agent_rules.h"

using namespace qv::bootstrap;
using qv::fuzz::Check;
using qv::fuzz::Shown;

namespace {

std::wstring WithoutBlanks(std::wstring text) {
  text.erase(std::remove(text.begin(), text.end(), L' '), text.end());
  return text;
}

void CheckOrder(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
  const std::string shown = Shown({a, b, c});
  Check(!IsNewerVersion(a, a), "a version is not newer than itself", shown);
  const bool ab = IsNewerVersion(a, b);
  const bool ba = IsNewerVersion(b, a);
  Check(!(ab && ba), "two versions are not each newer than the other", shown);
  // Neither newer: the same four numbers.
  if (!ab && !ba) {
    Check(ReadVersionFields(CompleteVersionText(a)) == ReadVersionFields(CompleteVersionText(b)),
          "versions neither newer than the other have the same fields", shown);
  }
  if (ab && IsNewerVersion(b, c)) Check(IsNewerVersion(a, c), "newer is transitive", shown);
  // Blanks are no part of a version: "1. 2" is "1.2".
  Check(ab == IsNewerVersion(WithoutBlanks(a), WithoutBlanks(b)), "blanks do not change a comparison", shown);
}

void CheckCompletion(const std::wstring& text) {
  const std::wstring completed = CompleteVersionText(text);
  const std::string shown = "[" + Shown(text) + "] -> [" + Shown(completed) + "]";
  Check(completed.find(L' ') == std::wstring::npos, "a completed text has no blank", shown);
  Check(std::count(completed.begin(), completed.end(), L'.') >= 3, "a completed text has three dots at least", shown);
  Check(completed.size() <= text.size() + 6, "completion adds at most three fields", shown);
  Check(ReadVersionFields(CompleteVersionText(completed)) == ReadVersionFields(completed),
        "completing a completed text changes none of its fields", shown);
}

// The runtime's reading of a number: the digits of any int come back, whatever blanks lead and
// whatever non-digits follow; a longer run of digits is clamped.
void CheckNumbers(uint32_t bits, const std::wstring& tail) {
  const int value = static_cast<int>(bits);
  std::wstring after = tail;
  if (!after.empty() && after[0] >= L'0' && after[0] <= L'9') after[0] = L'x';
  const std::wstring text = L" \t" + DecimalText(value) + after;
  Check(WideToInt(text) == value, "a number's digits read back as the number", text);
  Check(WideToInt(DecimalText(value) + L"0000000000") == (value < 0 ? INT_MIN : value == 0 ? 0 : INT_MAX),
        "more digits than an int holds clamp", Shown(DecimalText(value)));
}

// A file's fixed version block as text reads back as its four 16-bit numbers, and two files'
// texts compare as their 64-bit versions do.
void CheckFileVersions(uint32_t ms1, uint32_t ls1, uint32_t ms2, uint32_t ls2) {
  const std::wstring one = FormatFileVersion(ms1, ls1);
  const std::wstring two = FormatFileVersion(ms2, ls2);
  const VersionFields fields = ReadVersionFields(CompleteVersionText(one));
  Check(fields == VersionFields{ms1 >> 16, ms1 & 0xFFFF, ls1 >> 16, ls1 & 0xFFFF}, "a file version reads back",
        one);
  const uint64_t first = (static_cast<uint64_t>(ms1) << 32) | ls1;
  const uint64_t second = (static_cast<uint64_t>(ms2) << 32) | ls2;
  Check(IsNewerVersion(one, two) == (second > first), "file versions compare as their numbers",
        Shown(one) + " " + Shown(two));
}

void CheckStringTable(const std::vector<uint32_t>& translations, uint16_t language) {
  const uint32_t chosen = ChooseStringTable(translations, language);
  if (translations.empty()) {
    Check(chosen == MakeTranslation(kEnglishUs, kUnicodeCodePage), "a file without tables is read as US English");
    return;
  }
  Check(std::find(translations.begin(), translations.end(), chosen) != translations.end(),
        "the table chosen is one the file lists");
  const auto exact = std::find_if(translations.begin(), translations.end(),
                                  [language](uint32_t t) { return (t & 0xFFFF) == language; });
  if (exact != translations.end()) Check(chosen == *exact, "the user's own language is chosen first");
  uint32_t found = 0;
  if (FindStringTable(translations, language, false, found)) {
    Check((found & 0xFFFF) == language, "an exact search finds the exact language");
  } else {
    Check(exact == translations.end(), "an exact search finds a language the file lists");
  }
}

void CheckAgentVersionText(const std::string& fileVersion) {
  const std::string text = qv::updateclient::NormalizeVersionText(fileVersion);
  Check(text.find(' ') == std::string::npos && text.find(',') == std::string::npos,
        "an agent's version text has no blank and no comma", fileVersion);
  Check(qv::updateclient::NormalizeVersionText(text) == text, "normalizing twice changes nothing", fileVersion);
  const size_t kept = fileVersion.size() - static_cast<size_t>(std::count(fileVersion.begin(), fileVersion.end(), ' '));
  Check(text.size() == kept, "only blanks are dropped", fileVersion);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const std::string narrowA = input.Narrow();
  const std::wstring a = qv::fuzz::FuzzInput::WideOf(narrowA);
  const std::wstring b = input.Wide();
  const std::wstring c = input.Wide();
  CheckOrder(a, b, c);
  for (const std::wstring* text : {&a, &b, &c}) CheckCompletion(*text);
  CheckAgentVersionText(narrowA);

  const uint32_t ms1 = input.Number(), ls1 = input.Number(), ms2 = input.Number(), ls2 = input.Number();
  CheckFileVersions(ms1, ls1, ms2, ls2);
  CheckNumbers(ms1, b);

  std::vector<uint32_t> translations;
  while (!input.AtEnd() && translations.size() < 16) translations.push_back(input.Number());
  CheckStringTable(translations, static_cast<uint16_t>(ls2));
  return 0;
}
