// The Program Files folder as the system names it, and the attached run's config.ini.
#include "bootstrap/provisioning/driver_mgr.h"

#include <shlobj.h>

CDriverMgr::CDriverMgr() {
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) m_strProgramFiles = folder;
}

std::wstring CDriverMgr::GetConfigString(const std::wstring& section, const std::wstring& key) const {
  return m_pRun ? m_pRun->GetConfigString(section, key) : std::wstring();
}
