// Formatting of trace entries and the choice of the log file.
#include "bootstrap/core/trace_text.h"

#include <algorithm>

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {

int ElapsedMilliseconds(uint32_t startTick, uint32_t nowTick) {
  const uint32_t elapsed = nowTick - startTick;
  // Two's complement reading of the 32-bit difference, written out to stay well defined.
  return elapsed <= 0x7FFFFFFFu ? static_cast<int>(elapsed)
                                : -static_cast<int>(0xFFFFFFFFu - elapsed) - 1;
}

std::wstring FormatDebuggerLine(int elapsedMs, const std::wstring& text) {
  return std::wstring(kDebuggerPrefix) + L'[' + DecimalText(elapsedMs) + L"] " + text;
}

std::wstring FormatLogFileEntry(const std::wstring& text) {
  std::wstring entry = text;
  if (entry.empty() || entry.back() != L'\n') entry += L'\n';
  entry += L'\n';
  std::wstring out;
  out.reserve(entry.size() + 8);
  for (size_t i = 0; i < entry.size(); ++i) {
    if (entry[i] == L'\n' && (i == 0 || entry[i - 1] != L'\r')) out += L'\r';
    out += entry[i];
  }
  return out;
}

std::wstring FormatLogFilePath(const std::wstring& folder, int number) {
  std::wstring digits = DecimalText(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), L'0');
  return folder + L"\\PX_Bootstrap_Log(" + digits + L").txt";
}

int ChooseLogFileNumber(bool relaunched, const std::function<bool(int number)>& exists) {
  if (!relaunched) return 0;
  int next = 0;
  while (next <= kLastLogFileNumber && exists(next)) ++next;
  return next > 0 ? next - 1 : 0;
}

int FollowLogFileNumber(int current, const std::function<bool(int number)>& exists) {
  if (current >= 0 && current <= kLastLogFileNumber && exists(current) &&
      (current == kLastLogFileNumber || !exists(current + 1))) {
    return current;
  }
  return ChooseLogFileNumber(true, exists);
}

namespace {

// The first "[ddd]" of `text`, or empty.
std::wstring MessageCode(const std::wstring& text) {
  for (size_t at = text.find(L'['); at != std::wstring::npos && at + 5 <= text.size(); at = text.find(L'[', at + 1)) {
    const bool digits = std::all_of(text.begin() + at + 1, text.begin() + at + 4,
                                    [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    if (digits && text[at + 4] == L']') return text.substr(at, 5);
  }
  return std::wstring();
}

}  // namespace

std::wstring FormatMessageTrace(const std::wstring& text) {
  std::wstring line = L"[MessageBox] ";
  const std::wstring code = MessageCode(text);
  if (!code.empty()) line += code + L' ';
  for (wchar_t c : text) {
    if (c == L'\n') {
      line += L"\\n";
    } else if (c != L'\r') {
      line += c;
    }
  }
  return line + L"\r\n";
}

std::wstring FormatCauseTrace(const std::wstring& operation, const std::wstring& cause) {
  return L"[" + operation + L"] Cause: " + cause + L"\r\n";
}

}  // namespace qv::bootstrap
