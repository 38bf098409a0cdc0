// Why a step failed, in the trace line right after the line that reports the failure, and the
// warnings the user sees, traced with their text before they show.
#pragma once

#include <string>

#include "bootstrap/core/pc_system.h"

namespace qv::bootstrap {

// "[<operation>] Cause: <cause>" when the cause is known (not empty).
void TraceCause(PcSystem& pc, const wchar_t* operation, const std::wstring& cause);

// "system error 5 (Access is denied.)": the system's error with its text where it has one.
std::wstring SystemErrorCause(PcSystem& pc, unsigned error);

// "a link on the way to <path>": the cause of a refusal for a link.
std::wstring LinkCause(const std::wstring& path);

// Traces the warning's text (and, when given, the cause of the failure it reports), then shows it.
void Warn(PcSystem& pc, RunView& view, const std::wstring& text, const wchar_t* operation = nullptr,
          const std::wstring& cause = std::wstring());

}  // namespace qv::bootstrap
