// The library's exports: plain names (see the .def file), callee-cleans. Each export binds its
// procedure to this PC (CWindowsLibraryPc), is an exception boundary and cuts every text it writes
// to the caller's buffer size.
#include <windows.h>

#include <algorithm>
#include <string>

#include "updateclient/QVUTchkdl.h"
#include "updateclient/core/agent_setup.h"
#include "updateclient/core/text.h"
#include "updateclient/core/tool_check.h"
#include "updateclient/library_module.h"
#include "updateclient/usage_statistics.h"
#include "updateclient/win/library_trace.h"
#include "updateclient/win/transport.h"
#include "updateclient/windows_library_pc.h"

namespace qv::updateclient {
namespace {

std::string TextOf(const char* text) { return text ? std::string(text) : std::string(); }

// The agent installation for one variant on this PC, its result word cut to the caller's buffer.
int CheckAgentSetup(const AgentVariant& variant, char* result) {
  try {
    CWindowsLibraryPc pc;
    std::string word;
    int returned = RunAgentSetup(pc, BuiltServiceEndpoints(), variant, word);
    CopyToBuffer(word, result, QVUT_RESULT_BUFFER_BYTES);
    return returned;
  } catch (...) {
    UtTrace("MSG_FUNCTION_FAIL");
    CopyToBuffer("MSG_FUNCTION_FAIL", result, QVUT_RESULT_BUFFER_BYTES);
    return 0;
  }
}

PcToolCheck CheckPcTool(const std::string& testFlag, const std::string& version) {
  CWindowsLibraryPc pc;
  return CheckPcToolRelease(pc, BuiltServiceEndpoints(), testFlag, version);
}

int StartPhoneUpdateTool() {
  CWindowsLibraryPc pc;
  return LaunchPhoneUpdateTool(pc);
}

}  // namespace
}  // namespace qv::updateclient

// The exports and DllMain stay at global scope with C linkage; they reach the library through these.
using qv::updateclient::CheckAgentSetup;
using qv::updateclient::CheckPcTool;
using qv::updateclient::CopyToBuffer;
using qv::updateclient::kAssistantAgent;
using qv::updateclient::kNotificationAgent;
using qv::updateclient::PcToolCheck;
using qv::updateclient::ReportDownloadStep;
using qv::updateclient::SetLibraryModule;
using qv::updateclient::StartPhoneUpdateTool;
using qv::updateclient::TextOf;
using qv::updateclient::FailureCause;
using qv::updateclient::ForgetFailureCause;
using qv::updateclient::UtTrace;

extern "C" {

int __stdcall CheckPXPC(const char* testFlag, const char* version, char* downloadUrl, char* recommendedUrl,
                        char* result) {
  try {
    ForgetFailureCause();
    PcToolCheck check = CheckPcTool(TextOf(testFlag), TextOf(version));
    CopyToBuffer(check.resultWord, result, QVUT_RESULT_BUFFER_BYTES);
    if (!check.found) return 0;
    CopyToBuffer(check.downloadUrl, downloadUrl, QVUT_URL_BUFFER_BYTES);
    CopyToBuffer(check.recommendedUrl, recommendedUrl, QVUT_URL_BUFFER_BYTES);
    return 1;
  } catch (...) {
    UtTrace("MSG_FUNCTION_FAIL");
    CopyToBuffer("MSG_FUNCTION_FAIL", result, QVUT_RESULT_BUFFER_BYTES);
    return 0;
  }
}

int __stdcall UpdateGBCforSync(const char* historyIdIn, const char* status, char* historyIdOut, char* result) {
  try {
    std::string statusWord = TextOf(status);
    std::string newHistoryId;
    std::string word = ReportDownloadStep(TextOf(historyIdIn), statusWord, newHistoryId);
    if (statusWord == "START") CopyToBuffer(newHistoryId, historyIdOut, QVUT_HISTORY_ID_BUFFER_BYTES);
    CopyToBuffer(word, result, QVUT_RESULT_BUFFER_BYTES);
  } catch (...) {
    CopyToBuffer("MSG_FAIL", result, QVUT_RESULT_BUFFER_BYTES);
  }
  return 1;
}

int __stdcall GetFailureCause(char* cause, int bytes) {
  if (!cause || bytes <= 0) return 0;
  try {
    const std::string text = FailureCause();
    CopyToBuffer(text, cause, static_cast<size_t>(bytes));
    return static_cast<int>(std::min(text.size(), static_cast<size_t>(bytes) - 1));
  } catch (...) {
    cause[0] = '\0';
    return 0;
  }
}

int __stdcall CheckUTSetup(char* result) { return CheckAgentSetup(kNotificationAgent, result); }

int __stdcall CheckUASetup(const char*, char* result) { return CheckAgentSetup(kAssistantAgent, result); }

int __stdcall StartUpdate(void) {
  try {
    return StartPhoneUpdateTool();
  } catch (...) {
    return 0;
  }
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetLibraryModule(module);
  return TRUE;
}

}  // extern "C"
