// Version texts: four decimal fields joined by dots (major.minor.build.revision), as the
// configuration files announce them and as installed files carry them. Texts are completed to
// four fields and compared field by field as unsigned numbers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/core/string_info_key.h"

namespace qv::bootstrap {

using VersionFields = std::array<uint32_t, 4>;

// Counts the dots that split the text into non-empty leading parts (stopping at a text without
// a dot or at an empty part), appends ".0" until three are counted, then removes every space.
std::wstring CompleteVersionText(const std::wstring& text);

// The four fields of a completed text: the first three end at a dot; the fourth is all that
// remains, read as a number (so 1.2.3.4.5 gives 4). Each is read as WideToInt reads it and taken
// as an unsigned 32-bit number, so -1 reads as 4294967295.
VersionFields ReadVersionFields(const std::wstring& completedText);

// True when `candidate` is strictly newer than `current`. Any text is accepted; an empty one
// reads as 0.0.0.0.
bool IsNewerVersion(const std::wstring& current, const std::wstring& candidate);

// The version text of a file's fixed version block: major and minor in the high and low halves
// of the most significant word, build and revision in those of the least significant word.
std::wstring FormatFileVersion(uint32_t mostSignificant, uint32_t leastSignificant);

// A version resource's translation: the language in the low 16 bits, the code page in the high.
constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint16_t kUnicodeCodePage = 0x04B0;
constexpr uint32_t MakeTranslation(uint16_t language, uint16_t codePage) {
  return static_cast<uint32_t>(language) | (static_cast<uint32_t>(codePage) << 16);
}

// The first table of exactly `language`; failing that, when `primaryEnough`, the first table of
// the same primary language (the low byte).
bool FindStringTable(const std::vector<uint32_t>& translations, uint16_t language, bool primaryEnough,
                     uint32_t& found);

// The string table that describes a file best for a user of `userLanguage`: the user's exact
// language, then the same primary language (low byte), then neutral, then English, then the
// first table; US English in Unicode when the file lists none.
uint32_t ChooseStringTable(const std::vector<uint32_t>& translations, uint16_t userLanguage);

// The key of one string of a version resource (shared with the update library's reader).
using qv::FormatStringInfoKey;

}  // namespace qv::bootstrap
