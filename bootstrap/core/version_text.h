// Version texts: four decimal fields joined by dots (major.minor.build.revision), as the
// configuration files announce them and as installed files carry them. Texts are completed to
// four fields and compared field by field as unsigned numbers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

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

}  // namespace qv::bootstrap
