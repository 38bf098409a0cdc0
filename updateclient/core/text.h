// Small text helpers shared by the library's portable code.
#pragma once

#include <cstddef>
#include <string>

namespace qv::updateclient {

// Removes blanks, tabs, line ends, vertical tabs and form feeds at both ends.
std::string TrimText(const std::string& text);
std::string TrimRightText(const std::string& text);

// Writes |text| into a caller's buffer of |capacity| bytes, cut to fit with its terminator.
// A null buffer or zero capacity writes nothing.
void CopyToBuffer(const std::string& text, char* buffer, size_t capacity);

// Service answers are a few KB. A body beyond these limits is not an answer: it is neither held
// in memory nor parsed into a tree (each '<' may open an element).
constexpr size_t kLargestAnswerBytes = 1u << 20;
constexpr size_t kMostAnswerTags = 100000;
bool IsWithinAnswerLimits(const std::string& body);

// An answer body as the reader takes it: trailing white space trimmed, then cut to start at its
// first '<' (kept whole when it has none).
std::string MarkupFromBody(const std::string& body);

}  // namespace qv::updateclient
