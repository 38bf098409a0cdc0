// The USB driver manager: which family the phone carries, whether its files are installed and
// current under Program Files, and the installation through msiexec or a setup program.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

class CDriverMgr {
 public:
  CDriverMgr();
  virtual ~CDriverMgr() = default;

  std::wstring GetPreloadDriver();
  BOOL IsRequireUpDrv();
  BOOL IsInstalledDriver(int type);
  BOOL IsAnySeparateDriverInstalled();
  BOOL IsCurrentDriverInstalled();
  BOOL IsDriverVersionOutdated(int type, BOOL online);
  std::wstring GetDriverFolder(int type) const;
  BOOL IsDriverPairMissing(const std::wstring& folder, const std::wstring& name32, const std::wstring& name64) const;
  BOOL CopyPreloadDriver(const std::wstring& target);
  SHELLEXECUTEINFOW RunInstaller(const std::wstring& path, const std::wstring& option, BOOL msi);
  BOOL InstallDriver();

  std::wstring m_strProgramFiles;
  int m_nPreloadType = 0;
};
