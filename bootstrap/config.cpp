// Where the program runs from and its configuration readers.
#include "bootstrap/config.h"

#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/own_program.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "common/win/held_file.h"
#include "common/win/held_folder.h"

namespace {

// The PC start's hold of its folder and of its config.ini, for the whole process.
struct PcStartConfig {
  qv::CHeldFolder folder;
  qv::CHeldFile file;
  std::wstring refusal;  // the trace line of a refused config.ini; empty when it may be read
};

PcStartConfig& ThePcStartConfig() {
  static PcStartConfig config;
  return config;
}

}  // namespace

void HoldPcStartConfig(const std::wstring& programFolder, const std::wstring& launchDrive) {
  PcStartConfig& config = ThePcStartConfig();
  const std::wstring path = programFolder + L"config.ini";
  config.folder = qv::CHeldFolder::Open(GetProfileFolder(), qv::bootstrap::FolderOfPath(path));
  config.file = qv::CHeldFile::Open(path);
  const qv::CHeldFile phone =
      launchDrive.empty() ? qv::CHeldFile() : qv::CHeldFile::Open(qv::bootstrap::FormatDriveRoot(launchDrive[0]) + L"config.ini");
  // The phone's drive may be gone by now: the copy that the relaunch proved, held since, stands in.
  const bool phoneGone = phone.Error() == ERROR_FILE_NOT_FOUND || phone.Error() == ERROR_PATH_NOT_FOUND ||
                         phone.Error() == ERROR_NOT_READY || launchDrive.empty();
  if (!config.folder.IsHeld()) {
    config.refusal = FormatText(L"[GetConfigInfo()] [%ls] refused, its folder cannot be held (%u)\r\n", path.c_str(),
                                static_cast<unsigned>(config.folder.Error()));
  } else if (!config.file.IsHeld() || (!phoneGone && !config.file.HasSameBytes(phone))) {
    config.refusal = FormatText(L"[GetConfigInfo()] [%ls] refused, it is not the phone's file (%u, %u)\r\n",
                                path.c_str(), static_cast<unsigned>(phone.Error()),
                                static_cast<unsigned>(config.file.Error()));
  }
}

const std::wstring& PcStartConfigRefusal() { return ThePcStartConfig().refusal; }

void ReadModulePath(std::wstring& folder, std::wstring& name) {
  qv::bootstrap::ProgramPath program = qv::bootstrap::SplitProgramPath(OwnProgramPath());
  folder = std::move(program.folder);
  name = std::move(program.name);
}

std::wstring ReadConfigString(const std::wstring& programFolder, const std::wstring& section, const std::wstring& key) {
  if (!ThePcStartConfig().refusal.empty()) return std::wstring();  // as if the file were missing
  return GetIniString(programFolder + L"config.ini", section, key);
}

std::wstring CUSBAutoRunDlg::GetModulePath() {
  m_strModulePath = m_launch.moduleFolder;
  m_strModuleName = m_launch.moduleName;
  return m_strModulePath;
}

std::wstring CUSBAutoRunDlg::GetConfigString(const std::wstring& section, const std::wstring& key) const {
  return ReadConfigString(m_strModulePath, section, key);
}
