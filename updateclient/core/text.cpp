// Trimming, buffers and the line-by-line conversion of answers.
#include "updateclient/core/text.h"

#include <cstring>

namespace qv::updateclient {

void TrimRange(const char*& begin, const char*& end) {
  while (end > begin && IsSpace(end[-1])) --end;
  while (begin < end && IsSpace(*begin)) ++begin;
}

std::string TrimRightText(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsSpace(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string TrimText(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  TrimRange(begin, end);
  return std::string(begin, end);
}

void CopyToBuffer(const std::string& text, char* buffer, size_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

bool IsWithinAnswerLimits(const std::string& body) {
  if (body.size() > kLargestAnswerBytes) return false;
  size_t tags = 0;
  for (const char* at = body.data(); (at = static_cast<const char*>(
                                          std::memchr(at, '<', body.size() - (at - body.data())))) != nullptr;
       ++at) {
    if (++tags > kMostAnswerTags) return false;
  }
  return true;
}

std::string MarkupFromBody(const std::string& body) {
  std::string trimmed = TrimRightText(body);
  size_t first = trimmed.find('<');
  return first == std::string::npos ? trimmed : trimmed.substr(first);
}

std::string ConvertLineByLine(const std::string& body, const LineConversion& convertLine) {
  std::string text;
  size_t begin = 0;
  while (begin < body.size()) {
    size_t end = body.find('\n', begin);
    const size_t next = end == std::string::npos ? body.size() : end + 1;
    if (end == std::string::npos) end = body.size();
    if (end > begin && body[end - 1] == '\r') --end;
    if (end > begin) text += convertLine(body.substr(begin, end - begin));
    begin = next;
  }
  return text;
}

}  // namespace qv::updateclient
