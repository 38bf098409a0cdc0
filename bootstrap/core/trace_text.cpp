// Formatting of trace entries and the choice of the log file.
#include "bootstrap/core/trace_text.h"

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

}  // namespace qv::bootstrap
