// Each call one adapter function of the library's Windows layer, or one of its dialogs.
#include "updateclient/windows_library_pc.h"

#include <windows.h>

#include "common/win/held_file.h"
#include "updateclient/service_endpoints.h"
#include "updateclient/setup_dialogs.h"
#include "updateclient/win/agent_files.h"
#include "updateclient/win/agent_system.h"
#include "updateclient/win/library_trace.h"
#include "updateclient/win/protected_folder.h"
#include "updateclient/win/reg_key_writer.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

class CHeldProgram final : public HeldProgram {
 public:
  explicit CHeldProgram(qv::CHeldFile file) : m_file(std::move(file)) {}
  const qv::CHeldFile& File() const { return m_file; }

 private:
  qv::CHeldFile m_file;
};

}  // namespace

ServiceEndpoints BuiltServiceEndpoints() { return {kServiceBaseUrl, kProbeHost}; }

void CWindowsLibraryPc::Trace(const std::string& line) { UtTrace(line); }

bool CWindowsLibraryPc::IsServerReachable(const std::string& host) { return qv::updateclient::IsServerReachable(host); }

std::string CWindowsLibraryPc::GetMarkup(const std::string& url) { return HttpGetMarkup(url); }

void CWindowsLibraryPc::NoteFailureCause(const std::string& cause) { qv::updateclient::NoteFailureCause(cause); }

std::string CWindowsLibraryPc::FailureCause() { return qv::updateclient::FailureCause(); }

std::string CWindowsLibraryPc::LocaleCountryCode() {
  char code[7] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, code, sizeof(code));
  code[sizeof(code) - 1] = '\0';
  return code;
}

std::string CWindowsLibraryPc::CommonDataFolder() { return GetCommonDataFolder(); }

bool CWindowsLibraryPc::AnythingAt(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CWindowsLibraryPc::FileExists(const std::string& path) { return IsExistingFile(path); }

std::string CWindowsLibraryPc::FileVersionText(const std::string& path) { return GetFileVersionText(path); }

bool CWindowsLibraryPc::IsFreeOfLinks(const std::string& path) { return IsAgentPathFreeOfLinks(path); }

bool CWindowsLibraryPc::ProtectFolder(const std::string& folder) { return EnsureProtectedFolder(folder); }

bool CWindowsLibraryPc::IsAdministratorsOnly(const std::string& path) { return IsAdministratorsOnlyFile(path); }

std::unique_ptr<HeldProgram> CWindowsLibraryPc::HoldProgram(const std::string& path) {
  qv::CHeldFile held = HoldAnsiPath(path);
  if (!held.IsHeld()) return nullptr;
  return std::make_unique<CHeldProgram>(std::move(held));
}

bool CWindowsLibraryPc::IsSignedByMaker(const qv::SignaturePolicy& policy, const HeldProgram& held) {
  return qv::updateclient::IsSignedByMaker(policy, static_cast<const CHeldProgram&>(held).File());
}

qv::SignaturePolicy CWindowsLibraryPc::ReadSignaturePolicy() { return ReadAgentSignaturePolicy(); }

bool CWindowsLibraryPc::CopyFileOver(const std::string& source, const std::string& target) {
  return ::CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
}

uint32_t CWindowsLibraryPc::FindProcess(const std::string& image) { return FindProcessByName(image); }

bool CWindowsLibraryPc::EndProcess(uint32_t id, const std::string& expectedImage) {
  return KillProcessById(id, expectedImage);
}

bool CWindowsLibraryPc::IsMutexPresent(const std::string& name) { return qv::updateclient::IsMutexPresent(name); }

bool CWindowsLibraryPc::StartProgram(const std::string& path, const std::string& folder, unsigned& error) {
  DWORD code = ERROR_SUCCESS;
  const bool started = StartProgramIn(path, folder, code);
  error = static_cast<unsigned>(code);
  return started;
}

RegistryWrite CWindowsLibraryPc::WriteValues(RegistryRoot root, const std::string& subKey,
                                             std::initializer_list<RegistryValue> values) {
  RegistryWrite write;
  CRegKeyWriter key;
  if (!key.OpenOrCreate(root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subKey)) {
    write.keyOpened = false;
    write.error = static_cast<unsigned>(key.Error());
    return write;
  }
  for (const RegistryValue& value : values) {
    if (!(value.isNumber ? key.SetNumber(value.name, value.number) : key.SetText(value.name, value.text))) {
      write.error = static_cast<unsigned>(key.Error());
      break;
    }
    ++write.written;
  }
  return write;
}

bool CWindowsLibraryPc::AskToInstall(bool alternativeTexts) {
  CSetupConfirmDlg confirm;
  confirm.m_nAlternativeText = alternativeTexts ? 1 : 0;
  return confirm.DoModal() == IDOK;
}

DownloadShown CWindowsLibraryPc::ShowDownload(const PackageDownload& download) {
  CSetupProgressDlg progress;
  progress.m_nAlternativeText = download.alternativeTexts ? 1 : 0;
  progress.m_strUrl = download.url;
  progress.m_strTargetFolder = download.targetFolder;
  progress.m_strFilePath = download.filePath;
  if (download.policy) progress.m_signaturePolicy = *download.policy;
  if (progress.DoModal() != IDOK) return DownloadShown::kCancelled;
  return progress.m_bInstalled ? DownloadShown::kInstalled : DownloadShown::kNotInstalled;
}

}  // namespace qv::updateclient
