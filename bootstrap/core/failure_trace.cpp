// The cause lines of the trace and the traced warnings.
#include "bootstrap/core/failure_trace.h"

#include "bootstrap/core/trace_text.h"
#include "common/core/decimal_text.h"

namespace qv::bootstrap {

void TraceCause(PcSystem& pc, const wchar_t* operation, const std::wstring& cause) {
  if (!cause.empty()) pc.Trace(FormatCauseTrace(operation, cause));
}

std::wstring SystemErrorCause(PcSystem& pc, unsigned error) {
  const std::wstring text = pc.SystemErrorText(error);
  return L"system error " + DecimalText(error) + (text.empty() ? std::wstring() : L" (" + text + L")");
}

std::wstring LinkCause(const std::wstring& path) { return L"a link on the way to [" + path + L"]"; }

void Warn(PcSystem& pc, RunView& view, const std::wstring& text, const wchar_t* operation, const std::wstring& cause) {
  pc.Trace(FormatMessageTrace(text));
  if (operation) TraceCause(pc, operation, cause);
  view.ShowMessage(text);
}

}  // namespace qv::bootstrap
