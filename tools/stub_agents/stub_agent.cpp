// Stand-in for the update tool's programs (the notification agent, the update-assistant agent,
// the client and the launcher): one source, built once under each name. Every start appends one
// line to its log: its own file name, its working folder, its arguments and the synchronisation
// request it finds in the registry, separated by tabs.
//   (no switches)   record and exit 0
//   --stay          hold the agent's single-instance mutex (built-in default, or --mutex NAME)
//                   until the event QvStubAgentStop is signalled (exit 0) or 120 s pass (exit 3);
//                   exit 1 at once when another instance holds the mutex
//   --stop          signal QvStubAgentStop to end every staying instance; records nothing
// Other arguments are only recorded, as a real agent started with them would take them.
#include <windows.h>

#include <string>

#include "common/win/handles.h"
#include "tools/stub_pc_tool/invocation_log.h"

#ifndef QV_AGENT_MUTEX
#define QV_AGENT_MUTEX ""  // the launcher and the client hold no mutex of their own
#endif

namespace {

constexpr wchar_t kStopEventName[] = L"QvStubAgentStop";
constexpr DWORD kStayLimitMs = 120000;

enum ExitCode { kExitDone = 0, kExitAlreadyRunning = 1, kExitUsage = 2, kExitStayTimedOut = 3, kExitFailure = 4 };

struct Options {
  bool stay = false;
  bool stop = false;
  std::wstring mutex = L"" QV_AGENT_MUTEX;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--stay") {
      options.stay = true;
    } else if (arg == L"--stop") {
      options.stop = true;
    } else if (arg == L"--mutex") {
      if (i + 1 >= argc || argv[i + 1][0] == L'\0') return false;
      options.mutex = argv[++i];
    }
  }
  return true;
}

std::wstring OwnFileName() {
  wchar_t path[MAX_PATH * 2] = L"";
  const DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
  if (length == 0 || length >= ARRAYSIZE(path)) return L"?";
  const std::wstring full(path, length);
  return full.substr(full.find_last_of(L"\\/") + 1);
}

std::wstring WorkingFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return L"?";
  std::wstring folder(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, folder.data());
  if (length == 0 || length >= size) return L"?";
  folder.resize(length);
  return folder;
}

// The synchronisation request the launcher finds at its start ("SYNCUPDATE" of the maker's key),
// so that tests can tell it was written before the start; empty when there is none.
std::wstring SyncRequestAtStart() {
  wchar_t value[64] = L"";
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\LowRegistry\\QV Electronics Inc\\QVMobileAX", L"SYNCUPDATE",
                   RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return value;
}

void RecordStart() {
  qv::AppendLogLine(qv::InvocationLogPath(L"QV_AGENT_LOG", L"stub_agents.log", qv::LogFolder::kTemp),
                    OwnFileName() + L"\t" + WorkingFolder() + L"\t" + qv::CommandLineArguments(GetCommandLineW()) +
                        L"\t" + SyncRequestAtStart());
}

int SignalStop() {
  qv::UniqueHandle stop(OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopEventName));
  if (!stop) return kExitDone;  // no instance is staying
  return SetEvent(stop.get()) ? kExitDone : kExitFailure;
}

int Stay(const std::wstring& mutexName) {
  // Opened before the start is recorded, so a test that has seen the line can stop this instance.
  qv::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, kStopEventName));
  if (!stop) return kExitFailure;
  qv::UniqueHandle mutex;
  bool alreadyRunning = false;
  if (!mutexName.empty()) {
    mutex.reset(CreateMutexW(nullptr, TRUE, mutexName.c_str()));
    if (!mutex) return kExitFailure;
    alreadyRunning = GetLastError() == ERROR_ALREADY_EXISTS;  // then the mutex is not ours
  }
  RecordStart();
  if (alreadyRunning) return kExitAlreadyRunning;
  const DWORD waited = WaitForSingleObject(stop.get(), kStayLimitMs);
  if (mutex) ReleaseMutex(mutex.get());
  return waited == WAIT_OBJECT_0 ? kExitDone : kExitStayTimedOut;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) try {
  Options options;
  if (!ParseOptions(__argc, __wargv, options)) {
    RecordStart();
    return kExitUsage;
  }
  if (options.stop) return SignalStop();
  if (options.stay) return Stay(options.mutex);
  RecordStart();
  return kExitDone;
} catch (...) {
  return kExitFailure;
}
