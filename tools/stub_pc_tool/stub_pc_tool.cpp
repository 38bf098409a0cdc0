// Stand-in for the phone's PC tool. Tests install it under the configured tool name (for example
// PXPC.exe); when started it records its command line arguments (see invocation_log.h) in the file
// named by QV_STUB_LOG, or in stub_pc_tool.log beside itself, and exits with 0. It shows no window.
#include <windows.h>

#include "tools/stub_pc_tool/invocation_log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  qv::AppendInvocationLine(L"QV_STUB_LOG", L"stub_pc_tool.log");
  return 0;
}
