// Staging, replacement, checked copies and starts in the agent folders, over the file system calls.
#include "updateclient/win/agent_files.h"

#include <windows.h>

#include <vector>

#include "common/core/code_content.h"
#include "common/core/path_steps.h"
#include "common/win/ansi_text.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"
#include "common/win/signature_check.h"
#include "updateclient/core/agent_rules.h"
#include "updateclient/library_module.h"
#include "updateclient/win/agent_system.h"
#include "updateclient/win/cabinet.h"
#include "updateclient/win/protected_folder.h"
#include "updateclient/win/library_trace.h"

namespace qv::updateclient {

namespace {

// The files below |folder| by their names relative to it ("data\\x.dll"), appended to |files|.
// False when an entry is a link: nothing the package brought can be one.
bool ListFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& files) {
  return ForEachFolderEntry(folder + prefix, [&](const WIN32_FIND_DATAA& entry) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    const std::string name = prefix + entry.cFileName;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      files.push_back(name);
      return true;
    }
    return ListFiles(folder, name + "\\", files);
  });
}

// True when every file of code among the unpacked |files| of |staging| (by its first bytes or its
// name, whatever the name says: a library stored as "helper.bin" loads as well as a ".dll") bears
// the maker's signature. They lie in a new folder of the agents' folder, which only administrators
// can change, from now until they are moved into place.
bool AreStagedProgramsSigned(const std::string& staging, const std::vector<std::string>& files,
                             const qv::SignaturePolicy& policy) {
  if (!policy.IsRequired()) return true;
  for (const std::string& name : files) {
    const qv::CHeldFile held = HoldAnsiPath(staging + name);
    std::string head;
    if (!held.ReadHead(qv::kCodeHeadBytes, head)) {
      UtTrace("Unpacked file cannot be read: " + staging + name);
      return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    if (qv::IsCodeFile(name, bytes, head.size()) && !IsSignedByMaker(policy, held)) return false;
  }
  return true;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A file of the agent folder put aside while its replacement moves in, to be put back if the
// update cannot be completed.
struct Replaced {
  std::string target;
  std::string backup;  // empty: there was no file before
};

void PutBack(const std::vector<Replaced>& done) {
  for (auto it = done.rbegin(); it != done.rend(); ++it) {
    ::DeleteFileA(it->target.c_str());
    if (!it->backup.empty()) ::MoveFileExA(it->backup.c_str(), it->target.c_str(), 0);
  }
}

// Moves every file of |staging| into |agentFolder|, each target checked for links first, once
// every program among them is proven to be the maker's.
bool ReplaceFromStaging(const std::string& staging, const std::string& agentFolder,
                        const qv::SignaturePolicy& policy) {
  std::vector<std::string> staged;
  if (!ListFiles(staging, std::string(), staged)) {
    UtTrace("Unpacked package holds a link: " + staging);
    return false;
  }
  const ReplacementPlan plan = PlanReplacement(staged);
  if (plan.files.empty() || !AreStagedProgramsSigned(staging, plan.files, policy)) return false;
  for (const std::string& folder : plan.folders) {
    const std::string target = agentFolder + folder;
    if (!IsAgentPathFreeOfLinks(target) || (!IsFolder(target) && !::CreateDirectoryA(target.c_str(), nullptr))) {
      UtTrace("Agent folder refused: " + target);
      return false;
    }
  }
  const std::string backups = CreateStagingFolder(agentFolder);
  if (backups.empty()) return false;
  std::vector<Replaced> done;
  bool complete = true;
  for (size_t n = 0; n < plan.files.size() && complete; ++n) {
    Replaced step{agentFolder + plan.files[n], std::string()};
    if (!IsAgentPathFreeOfLinks(step.target)) {
      UtTrace("Agent file refused: " + step.target);
      complete = false;
      break;
    }
    const DWORD attributes = ::GetFileAttributesA(step.target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      step.backup = backups + std::to_string(n);
      if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesA(step.target.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::MoveFileExA(step.target.c_str(), step.backup.c_str(), 0)) {
        UtTrace("Agent file cannot be replaced: " + step.target);
        complete = false;
        break;
      }
    }
    if (!::MoveFileExA((staging + plan.files[n]).c_str(), step.target.c_str(), 0)) {
      UtTrace("Agent file cannot be replaced: " + step.target);
      if (!step.backup.empty()) ::MoveFileExA(step.backup.c_str(), step.target.c_str(), 0);
      complete = false;
      break;
    }
    done.push_back(step);
  }
  if (!complete) PutBack(done);
  RemoveFolderTree(backups);
  return complete;
}

}  // namespace

qv::CHeldFile HoldAnsiPath(const std::string& path) { return qv::CHeldFile::Open(qv::FromAnsi(path.data(), path.size())); }

bool IsSignedByMaker(const qv::SignaturePolicy& policy, const qv::CHeldFile& file) {
  return qv::IsHeldFileSignedByMaker(policy, file, [](const std::wstring& line) { UtTrace(qv::ToAnsi(line)); });
}

bool IsAgentPathFreeOfLinks(const std::string& path) {
  auto isLink = [](const std::wstring& step) { return qv::InspectPathStep(step) == qv::PathStep::Link; };
  const std::string root = GetCommonDataFolder();
  return qv::IsPathFreeOfLinksBelow(qv::FromAnsi(root.data(), root.size()), qv::FromAnsi(path.data(), path.size()),
                                    std::wstring(), isLink);
}

qv::SignaturePolicy ReadAgentSignaturePolicy() {
  // The library's own path, however long.
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(LibraryModule(), &module[0], static_cast<DWORD>(module.size()));
    if (length == 0) return qv::SignaturePolicy();
    if (length < module.size()) {
      module.resize(length);
      break;
    }
    if (module.size() >= 32768) return qv::SignaturePolicy();
    module.resize(module.size() * 2);
  }
  const qv::SignaturePolicy policy =
      qv::ReadSignatureSetting(module.substr(0, module.find_last_of(L'\\') + 1) + L"config.ini");
  if (policy.IsRequired() || !policy.problems.empty()) {
    for (const std::wstring& line : qv::DescribeSignaturePolicy(policy)) UtTrace(qv::ToAnsi(line));
  }
  return policy;
}

std::string FreshNameIn(const std::string& folder, const char* kind, int attempt) {
  return JoinFolderAndName(folder, std::string("~") + kind + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                       std::to_string(::GetTickCount64()) + "-" + std::to_string(attempt));
}

std::string CreateStagingFolder(const std::string& folder) {
  if (!IsAgentPathFreeOfLinks(folder)) return std::string();
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::string staging = FreshNameIn(folder, "staging", attempt);
    if (::CreateDirectoryA(staging.c_str(), nullptr)) return staging + "\\";
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return std::string();
}

void RemoveFolderTree(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  if (base.empty()) return;
  EmptyFolder(base);
  ::RemoveDirectoryA(base.c_str());
}

bool InstallPackage(const std::string& downloadPath, const std::string& packageName, const std::string& agentFolder,
                    const qv::SignaturePolicy& policy) {
  // The download is held, so that it cannot change, from its check until it is unpacked or moved.
  qv::CHeldFile held = policy.IsRequired() ? HoldAnsiPath(downloadPath) : qv::CHeldFile();
  const std::string staging = IsSignedByMaker(policy, held) ? CreateStagingFolder(agentFolder) : std::string();
  bool unpacked = false;
  if (!staging.empty()) {
    if (HasCabinetName(packageName)) {
      unpacked = ExtractCabinet(downloadPath, staging);
      if (!unpacked) UtTrace("Cabinet cannot be unpacked: " + packageName);
    } else {
      // A rename needs the file let go; it lies in the agents' folder, which only administrators
      // can change, and a program is checked again in the staging folder.
      held = qv::CHeldFile();
      unpacked = ::MoveFileExA(downloadPath.c_str(), (staging + packageName).c_str(), 0) != FALSE;
    }
  }
  held = qv::CHeldFile();
  ::DeleteFileA(downloadPath.c_str());
  const bool installed = unpacked && ReplaceFromStaging(staging, agentFolder, policy);
  if (!staging.empty()) RemoveFolderTree(staging);
  return installed;
}

}  // namespace qv::updateclient
