// Small text helpers shared by the library's portable code.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qv::updateclient {

// White space as the C locale has it, byte by byte (so ANSI letters above 127 are kept): blanks,
// tabs, line ends, vertical tabs and form feeds.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Moves |begin| and |end| inward past the white space at both ends of the range.
void TrimRange(const char*& begin, const char*& end);

// Removes the white space at both ends, or at the end only.
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

// Converts one line of an answer, e.g. from UTF-8 to the ANSI code page; empty text when it cannot.
using LineConversion = std::function<std::string(const std::string& line)>;

// An answer body read as text, line by line: each line (up to and without its LF, CR LF, or a CR
// that ends the body) is converted on its own and the results are joined without line ends. Empty
// lines are not converted; a line that cannot be converted adds nothing.
std::string ConvertLineByLine(const std::string& body, const LineConversion& convertLine);

}  // namespace qv::updateclient
