// Completion, reading and comparison of version texts.
#include "bootstrap/core/version_text.h"

#include <algorithm>

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {

std::wstring CompleteVersionText(const std::wstring& text) {
  int dots = 0;
  for (size_t from = 0;;) {
    const size_t dot = text.find(L'.', from);
    if (dot == std::wstring::npos || dot == from) break;  // no dot left, or an empty part
    ++dots;
    from = dot + 1;
  }
  std::wstring completed = text;
  for (; dots < 3; ++dots) completed += L".0";
  completed.erase(std::remove(completed.begin(), completed.end(), L' '), completed.end());
  return completed;
}

VersionFields ReadVersionFields(const std::wstring& completedText) {
  VersionFields fields{};
  std::wstring rest = completedText;
  for (size_t i = 0; i < 3; ++i) {
    const size_t dot = rest.find(L'.');
    if (dot == std::wstring::npos) {
      fields[i] = static_cast<uint32_t>(WideToInt(rest));
      rest.clear();
    } else {
      fields[i] = static_cast<uint32_t>(WideToInt(rest.substr(0, dot)));
      rest.erase(0, dot + 1);
    }
  }
  fields[3] = static_cast<uint32_t>(WideToInt(rest));
  return fields;
}

bool IsNewerVersion(const std::wstring& current, const std::wstring& candidate) {
  const VersionFields have = ReadVersionFields(CompleteVersionText(current));
  const VersionFields offered = ReadVersionFields(CompleteVersionText(candidate));
  for (size_t i = 0; i < have.size(); ++i) {
    if (offered[i] != have[i]) return offered[i] > have[i];
  }
  return false;
}

std::wstring FormatFileVersion(uint32_t mostSignificant, uint32_t leastSignificant) {
  return DecimalText(mostSignificant >> 16) + L'.' + DecimalText(mostSignificant & 0xFFFF) +
         L'.' + DecimalText(leastSignificant >> 16) + L'.' +
         DecimalText(leastSignificant & 0xFFFF);
}

}  // namespace qv::bootstrap

namespace qv::bootstrap {

bool FindStringTable(const std::vector<uint32_t>& translations, uint16_t language, bool primaryEnough,
                     uint32_t& found) {
  for (int pass = 0; pass < (primaryEnough ? 2 : 1); ++pass) {
    for (uint32_t entry : translations) {
      const uint16_t entryLanguage = static_cast<uint16_t>(entry & 0xFFFF);
      if (pass == 0 ? entryLanguage == language : (entryLanguage & 0xFF) == (language & 0xFF)) {
        found = entry;
        return true;
      }
    }
  }
  return false;
}

uint32_t ChooseStringTable(const std::vector<uint32_t>& translations, uint16_t userLanguage) {
  if (translations.empty()) return MakeTranslation(kEnglishUs, kUnicodeCodePage);
  uint32_t found = 0;
  for (uint16_t wanted : {userLanguage, uint16_t{0}, uint16_t{9}}) {
    if (FindStringTable(translations, wanted, true, found)) return found;
  }
  return translations.front();
}

}  // namespace qv::bootstrap
