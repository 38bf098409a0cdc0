// Test double of the update-service client library, for agent_caller's own test only: its agent
// exports do what the environment says, so the test can make one write a given result, fill the
// whole buffer without a NUL, or write past it.
//   QV_FAKE_RETURN        the value every export returns (default 1)
//   QV_FAKE_RESULT        the text written, with its NUL, into the result buffer
//   QV_FAKE_RESULT_BYTES  instead, this many bytes of 'A' with no NUL (more than the buffer: an overrun)
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "updateclient/QVUTchkdl.h"

namespace {

constexpr size_t kMaxWrite = 256;  // the caller's whole block: a larger write would be a real overrun

long EnvNumber(const char* name, long fallback) {
  char value[32] = "";
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::strtol(value, nullptr, 10) : fallback;
}

int FillResult(char* result) {
  const long bytes = EnvNumber("QV_FAKE_RESULT_BYTES", -1);
  if (bytes >= 0) {
    std::memset(result, 'A', static_cast<size_t>(bytes) < kMaxWrite ? static_cast<size_t>(bytes) : kMaxWrite);
  } else {
    char text[QVUT_RESULT_BUFFER_BYTES] = "";
    GetEnvironmentVariableA("QV_FAKE_RESULT", text, sizeof text);
    std::memcpy(result, text, std::strlen(text) + 1);
  }
  return static_cast<int>(EnvNumber("QV_FAKE_RETURN", 1));
}

}  // namespace

extern "C" {

int __stdcall CheckUTSetup(char* result) {
  return FillResult(result);
}

int __stdcall CheckUASetup(const char*, char* result) {
  return FillResult(result);
}

int __stdcall StartUpdate(void) {
  return static_cast<int>(EnvNumber("QV_FAKE_RETURN", 1));
}

}  // extern "C"
