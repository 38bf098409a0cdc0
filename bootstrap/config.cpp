// Where the program runs from and its configuration readers.
#include "bootstrap/provisioning/files.h"
#include "bootstrap/usb_autorun_dlg.h"

std::wstring CUSBAutoRunDlg::GetModulePath() {
  wchar_t path[520] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, path, 520);
  std::wstring folder, name;
  if (length > 0 && length < 520) {
    std::wstring full(path, length);
    size_t slash = full.rfind(L'\\');
    if (slash == std::wstring::npos) {
      name = full;
    } else {
      folder = full.substr(0, slash + 1);
      name = full.substr(slash + 1);
    }
  }
  m_strModulePath = folder;
  m_strModuleName = name;
  return folder;
}

std::wstring CUSBAutoRunDlg::GetConfigString(const std::wstring& section, const std::wstring& key) const {
  return ReadIniString(m_strModulePath + L"config.ini", section, key);
}

std::wstring CUSBAutoRunDlg::GetIniString(const std::wstring& file, const std::wstring& section,
                                          const std::wstring& key) const {
  return ReadIniString(file, section, key);
}
