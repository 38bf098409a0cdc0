// The workflow's PC on Windows: each call hands over to the routine that already answers it.
#include "bootstrap/provisioning/windows_pc.h"

#include <windows.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/usb_mode.h"
#include "bootstrap/provisioning/device_library.h"
#include "bootstrap/provisioning/driver_mgr.h"
#include "bootstrap/provisioning/package_signature.h"
#include "bootstrap/provisioning/registry_mgr.h"
#include "bootstrap/provisioning/connectivity.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/provisioning/update_client_library.h"
#include "bootstrap/provisioning/url_download.h"
#include "bootstrap/provisioning/user_rights.h"
#include "common/win/ansi_text.h"
#include "common/win/held_file.h"
#include "common/win/held_folder.h"
#include "common/win/process_start.h"

using qv::bootstrap::LibraryCall;

namespace {

// The phone shows itself as a CD-ROM drive. Any other drive (a hard disk that the program was
// copied to and run from by hand, a network drive, no drive at all) never gets the phone's
// commands: to the program it is a phone that does not answer.
bool IsPhoneDrive(char letter) {
  return letter != '\0' &&
         ::GetDriveTypeW(qv::bootstrap::FormatDriveRoot(static_cast<wchar_t>(letter)).c_str()) == DRIVE_CDROM;
}

std::wstring WideOf(const char* buffer, size_t size) { return qv::FromAnsi(buffer, ::strnlen(buffer, size)); }

// The statistics export of a library loaded for one download.
class CUsageReport final : public qv::bootstrap::UsageReport {
 public:
  CUsageReport(qv::UniqueModule library, UpdateGBCforSyncProc report)
      : m_library(std::move(library)), m_report(report) {}

  qv::bootstrap::UsageAnswer Report(const std::string& historyId, const std::string& state) override {
    qv::bootstrap::UsageAnswer answer;
    char newId[QVUT_HISTORY_ID_BUFFER_BYTES] = {};
    char message[QVUT_RESULT_BUFFER_BYTES] = {};
    char noNewId[1] = "";  // an end report asks for no new history id
    const bool start = state == "START";  // only a start report asks for a new history id
    try {
      answer.result = m_report(historyId.c_str(), state.c_str(), start ? newId : noNewId, message);
    } catch (...) {
      answer.call = LibraryCall::Threw;
      return answer;
    }
    answer.call = LibraryCall::Returned;
    if (start) answer.historyId.assign(newId, ::strnlen(newId, sizeof(newId)));
    return answer;
  }

 private:
  qv::UniqueModule m_library;
  UpdateGBCforSyncProc m_report;
};

// A file held for the workflow.
class CFileHold final : public qv::bootstrap::FileHold {
 public:
  explicit CFileHold(qv::CHeldFile file) : m_file(std::move(file)) {}
  const qv::CHeldFile* HeldFile() const override { return &m_file; }

 private:
  qv::CHeldFile m_file;
};

// A folder held for the workflow.
class CFolderHold final : public qv::bootstrap::FolderHold {
 public:
  explicit CFolderHold(qv::CHeldFolder folder) : m_folder(std::move(folder)) {}
  const qv::CHeldFolder* HeldFolder() const override { return &m_folder; }

 private:
  qv::CHeldFolder m_folder;
};

// A started program: its process, for the waits until it waits for its user's input or ends.
class CStartedProgram final : public qv::bootstrap::StartedProgram {
 public:
  explicit CStartedProgram(qv::UniqueProcessHandle process) : m_process(std::move(process)) {}
  void WaitUntilIdle(uint32_t milliseconds) override {
    if (m_process) ::WaitForInputIdle(m_process.get(), milliseconds);
  }
  // The worker that waits for an installer owns no window, so in practice the wait ends with the
  // program, or at the time limit.
  bool WaitForEnd(uint32_t milliseconds, uint32_t& exitCode) override {
    HANDLE process = m_process.get();
    if (!process || ::MsgWaitForMultipleObjects(1, &process, FALSE, milliseconds,
                                                QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON) != WAIT_OBJECT_0) {
      return false;
    }
    DWORD code = 0;
    const bool ended = ::GetExitCodeProcess(process, &code) != FALSE && code != STILL_ACTIVE;
    exitCode = code;
    return ended;
  }

 private:
  qv::UniqueProcessHandle m_process;
};

}  // namespace

void CWindowsPc::Trace(const std::wstring& line) { WriteTraceLog(line); }

std::wstring CWindowsPc::BaseFolder() { return GetBaseFolder(); }

bool CWindowsPc::FileExists(const std::wstring& path) { return IsExistFile(path) != 0; }

bool CWindowsPc::AnythingAt(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES || ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool CWindowsPc::IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// The result of a call that returned `succeeded`, with the error it left when it failed.
qv::bootstrap::FileResult ResultOf(BOOL succeeded) {
  if (succeeded) return {};
  const DWORD error = ::GetLastError();
  return {error ? static_cast<unsigned>(error) : static_cast<unsigned>(ERROR_GEN_FAILURE)};
}

}  // namespace

qv::bootstrap::FileResult CWindowsPc::CreateFolder(const std::wstring& path) {
  return ResultOf(::CreateDirectoryW(path.c_str(), nullptr));
}

void CWindowsPc::RemoveFolder(const std::wstring& path) { ::RemoveDirectoryW(path.c_str()); }

std::unique_ptr<qv::bootstrap::FolderHold> CWindowsPc::HoldFolder(const std::wstring& folder, unsigned& error) {
  qv::CHeldFolder held = qv::CHeldFolder::Open(GetProfileFolder(), folder);
  if (!held.IsHeld()) {
    error = static_cast<unsigned>(held.Error());
    return nullptr;
  }
  return std::make_unique<CFolderHold>(std::move(held));
}

qv::bootstrap::FileResult CWindowsPc::MoveFileOver(const std::wstring& source, const std::wstring& target) {
  const qv::bootstrap::FileResult result = ResultOf(MoveFileOverwrite(source, target));
  if (!result) {
    Trace(FormatText(L"MoveFile Src[%ls], Target[%ls] failed (%u)\r\n", source.c_str(), target.c_str(), result.error));
  }
  return result;
}

std::wstring CWindowsPc::SystemErrorText(unsigned error) {
  wchar_t text[512] = {};
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, static_cast<DWORD>(std::size(text)), nullptr);
  std::wstring message(text, length < std::size(text) ? length : 0);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.pop_back();
  }
  return message;
}

bool CWindowsPc::IsFreeOfLinks(const std::wstring& folder, const std::wstring& name) {
  return ::IsFreeOfLinks(folder, name) != 0;
}

void CWindowsPc::RemoveFile(const std::wstring& path) { DeleteFileEvenReadOnly(path); }

void CWindowsPc::WarmUpSignatureCheck(const std::wstring& file) {
  if (m_policy.IsRequired() && !m_policy.refuseAll) m_signatureWarmUp.Start(file);
}

qv::bootstrap::FileResult CWindowsPc::CopyFileOver(const std::wstring& source, const std::wstring& target) {
  const qv::bootstrap::FileResult result = ResultOf(CopyFileOverwrite(source, target));
  if (!result) Trace(FormatText(L"CopyFile Src[%ls], Target[%ls]\r\n", source.c_str(), target.c_str()));
  return result;
}

std::wstring CWindowsPc::ReadProfileString(const std::wstring& file, const std::wstring& section,
                                           const std::wstring& key) {
  return GetIniString(file, section, key);
}

std::string CWindowsPc::NarrowText(const std::wstring& text) { return qv::ToAnsi(text); }

bool CWindowsPc::IsOnline() { return IsConnectedInternet() == 1; }

qv::bootstrap::DownloadResult CWindowsPc::Download(const std::wstring& url, const std::wstring& file,
                                                   const qv::DownloadLimits& limits,
                                                   const std::atomic<int>* cancel,
                                                   const qv::bootstrap::FolderHold& folder) {
  qv::bootstrap::DownloadResult result;
  const qv::CHeldFolder* held = folder.HeldFolder();
  if (!held) {
    result.cause = L"[" + file + L"] refused: its folder is not held";
    return result;
  }
  result.complete = DownloadUrlToFile(url, file, limits, cancel, held, &result.cause) != 0;
  return result;
}

qv::bootstrap::PackageQuery CWindowsPc::CheckPxpc(const std::wstring& programFolder, const std::wstring& phoneFolder,
                                                  const std::string& testVersion) {
  qv::bootstrap::PackageQuery query;
  qv::UniqueModule library;
  auto checkPxpc = OpenUpdateClientExport<CheckPXPCProc>(library, programFolder, phoneFolder, "CheckPXPC", query.call);
  if (!checkPxpc) return query;
  char testFlag[qv::bootstrap::kTestVersionBufferBytes] = "TRUE";
  char version[qv::bootstrap::kTestVersionBufferBytes] = {};
  testVersion.copy(version, sizeof(version) - 1);
  char downloadUrl[QVUT_URL_BUFFER_BYTES] = {};
  char recommendedUrl[QVUT_URL_BUFFER_BYTES] = {};
  char resultWord[QVUT_RESULT_BUFFER_BYTES] = {};
  char cause[512] = {};
  try {
    query.named = checkPxpc(testFlag, version, downloadUrl, recommendedUrl, resultWord);
    // Why it failed, from a library that tells it (an earlier one does not).
    auto failureCause = reinterpret_cast<GetFailureCauseProc>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "GetFailureCause")));
    if (failureCause) failureCause(cause, static_cast<int>(sizeof(cause)));
  } catch (...) {
    query.call = LibraryCall::Threw;
    return query;
  }
  library.reset();
  query.cause = WideOf(cause, sizeof(cause));
  query.call = LibraryCall::Returned;
  query.downloadUrl = WideOf(downloadUrl, sizeof(downloadUrl));
  query.resultWord = WideOf(resultWord, sizeof(resultWord));
  return query;
}

std::unique_ptr<qv::bootstrap::UsageReport> CWindowsPc::OpenUsageReport(const std::wstring& programFolder,
                                                                        const std::wstring& phoneFolder,
                                                                        LibraryCall& failure) {
  qv::UniqueModule library;
  auto report =
      OpenUpdateClientExport<UpdateGBCforSyncProc>(library, programFolder, phoneFolder, "UpdateGBCforSync", failure);
  if (!report) return nullptr;
  return std::make_unique<CUsageReport>(std::move(library), report);
}

qv::bootstrap::ProgramStart CWindowsPc::StartProgram(const std::wstring& program, const std::wstring& arguments,
                                                     const std::wstring& folder) {
  qv::ProcessStart started = qv::StartProcess(program, arguments, folder);
  qv::bootstrap::ProgramStart start;
  start.error = static_cast<unsigned>(started.error);
  if (started.started) start.program = std::make_unique<CStartedProgram>(std::move(started.process));
  return start;
}

std::unique_ptr<qv::bootstrap::FileHold> CWindowsPc::HoldPhonesCopy(const std::wstring& copy, const std::wstring& phone,
                                                                    unsigned& copyError, unsigned& phoneError) {
  qv::CHeldFile held = qv::CHeldFile::Open(copy);
  const qv::CHeldFile phones = qv::CHeldFile::Open(phone);
  copyError = static_cast<unsigned>(held.Error());
  phoneError = static_cast<unsigned>(phones.Error());
  if (!held.HasSameBytes(phones)) return nullptr;
  return std::make_unique<CFileHold>(std::move(held));
}

std::unique_ptr<qv::bootstrap::FileHold> CWindowsPc::HoldSignedByMaker(const std::wstring& path) {
  if (!m_policy.IsRequired()) return std::make_unique<qv::bootstrap::FileHold>();  // nothing to hold
  qv::CHeldFile held = qv::CHeldFile::Open(path);
  if (!IsSignedByMaker(m_policy, held)) return nullptr;
  return std::make_unique<CFileHold>(std::move(held));
}

bool CWindowsPc::IsSignatureRequired() { return m_policy.IsRequired(); }

std::unique_ptr<qv::bootstrap::FileHold> CWindowsPc::HoldFile(const std::wstring& path, size_t headBytes,
                                                              std::string& head) {
  qv::CHeldFile held = qv::CHeldFile::Open(path);
  if (!held.IsHeld() || !held.ReadHead(headBytes, head)) return nullptr;
  return std::make_unique<CFileHold>(std::move(held));
}

bool CWindowsPc::IsHeldSignedByMaker(const qv::bootstrap::FileHold& file) {
  const qv::CHeldFile* held = file.HeldFile();
  return held && IsSignedByMaker(m_policy, *held);
}

std::wstring CWindowsPc::ProgramFilesFolder() { return m_pDriverMgr ? m_pDriverMgr->m_strProgramFiles : std::wstring(); }

std::wstring CWindowsPc::SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

std::wstring CWindowsPc::FileVersion(const std::wstring& path) { return GetFileVersionString(path); }

std::wstring CWindowsPc::ReadProgramConfig(const std::wstring& section, const std::wstring& key) {
  return m_pDriverMgr ? m_pDriverMgr->GetConfigString(section, key) : std::wstring();
}

bool CWindowsPc::IsFactoryLine() { return CRegistryMgr(L"").IsExistKey(3, L"SOFTWARE\\QV Electronics\\ForceDiag") != 0; }

bool CWindowsPc::IsAdministrator() { return IsUserInGroup(DOMAIN_ALIAS_RID_ADMINS) != 0; }

// Without a device library (the program runs from a place it may not load one from), the phone
// does not answer.
bool CWindowsPc::ReadSelectedMode(char driveLetter, unsigned char& answer) {
  unsigned char buffer[4] = {answer, 0, 0, 0};
  const CDeviceLibrary& library = CDeviceLibrary::Bound();
  const bool answered = IsPhoneDrive(driveLetter) &&
                        library.GetPhoneData(driveLetter, qv::bootstrap::kItemSelectedMode, buffer, 1) != 0;
  answer = buffer[0];
  return answered;
}

qv::bootstrap::PhoneSwitch CWindowsPc::SwitchMode(int modeExport, char driveLetter) {
  try {
    const CDeviceLibrary& library = CDeviceLibrary::Bound();
    const bool switched = IsPhoneDrive(driveLetter) && library.ChangeMode(modeExport, driveLetter) == 1;
    return switched ? qv::bootstrap::PhoneSwitch::Switched : qv::bootstrap::PhoneSwitch::Failed;
  } catch (...) {
    return qv::bootstrap::PhoneSwitch::Threw;
  }
}

uint32_t CWindowsPc::TickCount() { return ::GetTickCount(); }

void CWindowsPc::Pause(uint32_t milliseconds) { ::Sleep(milliseconds); }
