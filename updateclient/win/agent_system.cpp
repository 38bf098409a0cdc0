// Process snapshots, version resources, program starts and the other system calls of the agents.
#include "updateclient/win/agent_system.h"

#include <shlobj.h>

#include <cwctype>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/win/ansi_text.h"
#include "common/win/handles.h"
#include "common/win/process_list.h"
#include "common/win/process_start.h"
#include "common/win/version_resource.h"
#include "updateclient/core/agent_rules.h"

namespace qv::updateclient {

namespace {

bool EndsWithIgnoringCase(const wchar_t* text, const std::wstring& tail) {
  size_t length = std::wcslen(text);
  if (tail.empty() || length < tail.size()) return false;
  const wchar_t* from = text + length - tail.size();
  for (size_t i = 0; i < tail.size(); ++i) {
    if (std::towlower(from[i]) != std::towlower(tail[i])) return false;
  }
  return true;
}

std::string WithTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

// The session of |processId|; false when the system does not tell.
bool SessionOf(DWORD processId, DWORD& session) { return ::ProcessIdToSessionId(processId, &session) != FALSE; }

}  // namespace

DWORD FindProcessByName(const std::string& imageName) {
  // Image names come wide from the snapshot; the searched name is ANSI. Only the caller's own
  // session counts: an agent of another user's session is not the caller's to end or to wait for.
  const std::wstring wanted = qv::FromAnsi(imageName.data(), imageName.size());
  DWORD ownSession = 0;
  if (!SessionOf(::GetCurrentProcessId(), ownSession)) return 0;
  return qv::FindProcess([&wanted, ownSession](const wchar_t* image, DWORD processId) {
    DWORD session = 0;
    return EndsWithIgnoringCase(image, wanted) && SessionOf(processId, session) && session == ownSession;
  });
}

bool KillProcessById(DWORD processId, const std::string& expectedImage) {
  if (processId == 0) return true;
  qv::UniqueProcessHandle process(::OpenProcess(PROCESS_ALL_ACCESS, TRUE, processId));
  if (!process) return false;
  // The id may have been reused since the search: the process opened must still run that image.
  if (!expectedImage.empty()) {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(process.get(), 0, path, &length) || length >= MAX_PATH * 2) return false;
    path[length] = L'\0';
    const wchar_t* name = std::wcsrchr(path, L'\\');
    if (!EndsWithIgnoringCase(name ? name + 1 : path, qv::FromAnsi(expectedImage.data(), expectedImage.size()))) {
      return false;
    }
  }
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.get(), &exitCode);
  return ::TerminateProcess(process.get(), exitCode) != FALSE;
}

std::string GetCommonDataFolder() {
  char folder[MAX_PATH + 1] = "";
  if (::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE)) {
    folder[MAX_PATH] = '\0';
    return WithTrailingBackslash(folder);
  }
  char programFiles[261] = "";
  DWORD size = sizeof(programFiles) - 1;
  qv::UniqueRegKey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, key.put()) ==
      ERROR_SUCCESS) {
    DWORD type = 0;
    if (::RegQueryValueExA(key.get(), "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(programFiles),
                           &size) != ERROR_SUCCESS || type != REG_SZ) {
      programFiles[0] = '\0';
    }
  }
  return WithTrailingBackslash(programFiles);
}

std::string GetFileVersionText(const std::string& path) {
  qv::CVersionResource resource;
  if (!resource.Load(qv::FromAnsi(path.c_str(), path.size()))) return std::string();
  const std::vector<uint32_t> translations = resource.Translations();
  if (translations.empty()) return std::string();
  return NormalizeVersionText(qv::ToAnsi(resource.String(translations.front(), L"FileVersion")));
}

bool IsMutexPresent(const std::string& name) {
  qv::UniqueHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
  return static_cast<bool>(mutex);
}

bool IsExistingFile(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool StartProgramIn(const std::string& path, const std::string& folder, DWORD& error) {
  const qv::ProcessStart start = qv::StartProcess(qv::FromAnsi(path.data(), path.size()), std::wstring(),
                                                  qv::FromAnsi(folder.data(), folder.size()));
  error = start.error;
  return start.started;
}

}  // namespace qv::updateclient
