// The workflow's PC on Windows: each call hands over to the routine that already answers it.
#include "bootstrap/provisioning/windows_pc.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/usb_mode.h"
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
#include "modeswitch/QVEUSBAutorun.h"

using qv::bootstrap::LibraryCall;

namespace {

using ModeExport = int (*)(char);

// The exports in the modes' numbering; ChooseModeChange only gives numbers of this list.
#define QV_MODE_EXPORT(suffix) ChangeMode2##suffix,
constexpr ModeExport kModeExportFunctions[] = {QV_USB_MODES(QV_MODE_EXPORT)};
#undef QV_MODE_EXPORT

// The phone shows itself as a CD-ROM drive. Any other drive (a hard disk that the program was
// copied to and run from by hand, a network drive, no drive at all) never gets the phone's
// commands: to the program it is a phone that does not answer.
bool IsPhoneDrive(char letter) {
  return letter != '\0' &&
         ::GetDriveTypeW(qv::bootstrap::FormatDriveRoot(static_cast<wchar_t>(letter)).c_str()) == DRIVE_CDROM;
}

// How long the checked files stay held after the relaunch: until the copy waits for its user's
// input (it has bound its libraries by then), or this long at most.
constexpr DWORD kRelaunchHoldMs = 5000;

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
  const qv::CHeldFile& File() const { return m_file; }

 private:
  qv::CHeldFile m_file;
};

// Holds the files that the copy of the program runs or loads from its folder, each proven to hold
// the phone's bytes: the copy is in a folder any program of the user can write to, and it runs as
// administrator. Names the first file that is not the phone's in `failed` (its phone path).
bool HoldRelaunchFiles(const qv::bootstrap::RelaunchRequest& request, std::vector<qv::CHeldFile>& held,
                       std::wstring& failed) {
  for (const qv::bootstrap::RelaunchFile& file : qv::bootstrap::RelaunchFiles(request.programName)) {
    qv::CHeldFile phone = qv::CHeldFile::Open(request.phoneFolder + file.name);
    qv::CHeldFile copy = qv::CHeldFile::Open(request.packageFolder + file.name);
    const bool copyMissing = copy.Error() == ERROR_FILE_NOT_FOUND;
    if (file.check == qv::bootstrap::RelaunchCheck::WhereCopied && copyMissing) continue;
    if (file.check == qv::bootstrap::RelaunchCheck::WhereEitherHas && copyMissing &&
        phone.Error() == ERROR_FILE_NOT_FOUND) {
      continue;
    }
    if (!copy.HasSameBytes(phone)) {
      WriteTraceLog(FormatText(L"CopyFile Src[%ls], Target[%ls] is not the phone's file (%u, %u)\r\n",
                               phone.Path().c_str(), copy.Path().c_str(), static_cast<unsigned>(phone.Error()),
                               static_cast<unsigned>(copy.Error())));
      failed = phone.Path();
      return false;
    }
    held.push_back(std::move(copy));
  }
  return true;
}

}  // namespace

void CWindowsPc::Trace(const std::wstring& line) { WriteTraceLog(line); }

std::wstring CWindowsPc::BaseFolder() { return GetBaseFolder(); }

bool CWindowsPc::FileExists(const std::wstring& path) { return IsExistFile(path) != 0; }

bool CWindowsPc::IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CWindowsPc::CreateFolder(const std::wstring& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool CWindowsPc::IsFreeOfLinks(const std::wstring& folder, const std::wstring& name) {
  return ::IsFreeOfLinks(folder, name) != 0;
}

void CWindowsPc::RemoveFile(const std::wstring& path) { DeleteFileEvenReadOnly(path); }

void CWindowsPc::WarmUpSignatureCheck(const std::wstring& file) {
  if (m_policy.IsRequired() && !m_policy.refuseAll) m_signatureWarmUp.Start(file);
}

bool CWindowsPc::CopyFileOver(const std::wstring& source, const std::wstring& target) {
  return CopyFileOverwrite(source, target) != 0;
}

std::wstring CWindowsPc::ReadProfileString(const std::wstring& file, const std::wstring& section,
                                           const std::wstring& key) {
  return ReadIniString(file, section, key);
}

std::string CWindowsPc::NarrowText(const std::wstring& text) { return qv::ToAnsi(text); }

bool CWindowsPc::IsOnline() { return IsConnectedInternet() == 1; }

bool CWindowsPc::Download(const std::wstring& url, const std::wstring& file,
                          const qv::bootstrap::DownloadLimits& limits, const std::atomic<int>* cancel) {
  return DownloadUrlToFile(url, file, limits, cancel) != 0;
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
  try {
    query.named = checkPxpc(testFlag, version, downloadUrl, recommendedUrl, resultWord);
  } catch (...) {
    query.call = LibraryCall::Threw;
    return query;
  }
  library.reset();
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

bool CWindowsPc::StartProgram(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder) {
  // Without the maker's signature where the phone asks for one, the program is not started
  // (checked before every start: the copy in the profile can be replaced at any time). It is held,
  // so that it cannot change, until it has started.
  const std::unique_ptr<qv::bootstrap::FileHold> held = HoldSignedByMaker(program);
  if (!held) return false;
  HINSTANCE started = ::ShellExecuteW(nullptr, L"open", program.c_str(), arguments.c_str(), folder.c_str(), SW_SHOWNORMAL);
  return static_cast<int>(reinterpret_cast<INT_PTR>(started)) > 32;
}

std::wstring CWindowsPc::PreloadDriver() { return m_pDriverMgr ? m_pDriverMgr->GetPreloadDriver() : std::wstring(); }

bool CWindowsPc::IsDriverDue() { return m_pDriverMgr && m_pDriverMgr->IsRequireUpDrv() != 0; }

bool CWindowsPc::InstallDriver() { return m_pDriverMgr && m_pDriverMgr->InstallDriver() == 1; }

bool CWindowsPc::IsDriverInstalled(int type) { return m_pDriverMgr && m_pDriverMgr->IsInstalledDriver(type) != 0; }

std::unique_ptr<qv::bootstrap::FileHold> CWindowsPc::HoldPhonesCopy(const std::wstring& copy, const std::wstring& phone,
                                                                    unsigned& error) {
  qv::CHeldFile held = qv::CHeldFile::Open(copy);
  if (!held.HasSameBytes(qv::CHeldFile::Open(phone))) {
    error = static_cast<unsigned>(held.Error());
    return nullptr;
  }
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
  const auto* held = dynamic_cast<const CFileHold*>(&file);
  return held && IsSignedByMaker(m_policy, held->File());
}

void CWindowsPc::RunInstaller(const std::wstring& path, const std::wstring& option, bool msi) {
  if (m_pDriverMgr) m_pDriverMgr->RunInstallerToEnd(path, option, msi ? TRUE : FALSE);
}

bool CWindowsPc::Relaunch(const qv::bootstrap::RelaunchRequest& request, std::wstring& notThePhones) {
  std::vector<qv::CHeldFile> held;
  if (!HoldRelaunchFiles(request, held, notThePhones)) return false;
  // Started with the shell's "open" verb; the files stay held until it has started.
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = request.program.c_str();
  info.lpParameters = request.arguments.c_str();
  info.lpDirectory = request.workFolder.c_str();
  info.nShow = SW_SHOWNORMAL;
  ::ShellExecuteExW(&info);
  qv::UniqueProcessHandle process(info.hProcess);
  if (process) ::WaitForInputIdle(process.get(), kRelaunchHoldMs);
  return true;
}

bool CWindowsPc::IsFactoryLine() { return CRegistryMgr(L"").IsExistKey(3, L"SOFTWARE\\QV Electronics\\ForceDiag") != 0; }

bool CWindowsPc::IsAdministrator() { return IsUserInGroup(DOMAIN_ALIAS_RID_ADMINS) != 0; }

bool CWindowsPc::ReadSelectedMode(char driveLetter, unsigned char& answer) {
  unsigned char buffer[4] = {answer, 0, 0, 0};
  const bool answered =
      IsPhoneDrive(driveLetter) && ::GetPhoneData(driveLetter, qv::bootstrap::kItemSelectedMode, buffer, 1) != 0;
  answer = buffer[0];
  return answered;
}

qv::bootstrap::PhoneSwitch CWindowsPc::SwitchMode(int modeExport, char driveLetter) {
  if (modeExport < 0 || modeExport >= static_cast<int>(sizeof(kModeExportFunctions) / sizeof(kModeExportFunctions[0]))) {
    return qv::bootstrap::PhoneSwitch::Failed;
  }
  try {
    const bool switched = IsPhoneDrive(driveLetter) && kModeExportFunctions[modeExport](driveLetter) == 1;
    return switched ? qv::bootstrap::PhoneSwitch::Switched : qv::bootstrap::PhoneSwitch::Failed;
  } catch (...) {
    return qv::bootstrap::PhoneSwitch::Threw;
  }
}

uint32_t CWindowsPc::TickCount() { return ::GetTickCount(); }

void CWindowsPc::Pause(uint32_t milliseconds) { ::Sleep(milliseconds); }
