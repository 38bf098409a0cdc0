// The USB driver manager: which family the phone carries, whether its files are installed and
// current under Program Files, and the installation through msiexec or a setup program.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/core/pc_system.h"
#include "common/win/process_start.h"

// What the driver manager reads of the run it serves, the one thing it sets there, and the PC and
// window the installation works on. The main dialog implements it; nothing here reaches the
// dialog any other way.
class IDriverRun {
 public:
  // A value of the phone's config.ini, beside the program.
  virtual std::wstring GetConfigString(const std::wstring& section, const std::wstring& key) const = 0;
  // The program's folder, with its final backslash.
  virtual std::wstring GetProgramFolder() const = 0;
  // The phone's drive letter given at the relaunch; empty on a phone start.
  virtual std::wstring GetLaunchDrive() const = 0;
  // The downloaded serverconfig.ini; empty until the update check fetched it.
  virtual std::wstring GetServerConfigFile() const = 0;
  // The phone's installer (its full path once copied) and the one fetched from the server, and
  // whether the server named the phone's own installer.
  virtual std::wstring GetPreloadDriverPath() const = 0;
  virtual std::wstring GetServerDriverPath() const = 0;
  virtual BOOL IsPreloadDriverSame() const = 0;
  // The phone's installer is of the combined family.
  virtual void SetUnisonPreload() = 0;
  // The PC the installation works on, and the run's window.
  virtual qv::bootstrap::PcSystem& Pc() = 0;
  virtual qv::bootstrap::RunView& View() = 0;

 protected:
  ~IDriverRun() = default;
};

class CDriverMgr {
 public:
  CDriverMgr();
  virtual ~CDriverMgr() = default;

  // The run whose configuration and files the manager works with; without one it finds no
  // preload driver, no outdated version and installs nothing.
  void AttachRun(IDriverRun* run) { m_pRun = run; }

  std::wstring GetPreloadDriver();
  BOOL IsRequireUpDrv();
  BOOL IsInstalledDriver(int type);
  BOOL IsAnySeparateDriverInstalled();
  BOOL IsCurrentDriverInstalled();
  BOOL IsDriverVersionOutdated(int type, BOOL online);
  std::wstring GetDriverFolder(int type) const;
  BOOL IsDriverPairMissing(const std::wstring& folder, const std::wstring& name32, const std::wstring& name64) const;
  BOOL CopyPreloadDriver(const std::wstring& target);
  // Starts an installer as itself (`msi`: the system's msiexec on the package with `option`), in
  // the installer's folder.
  qv::ProcessStart RunInstaller(const std::wstring& path, const std::wstring& option, BOOL msi);
  // RunInstaller, then the wait until the installer ends, or for as long as an installer is given.
  qv::bootstrap::InstallerRun RunInstallerToEnd(const std::wstring& path, const std::wstring& option, BOOL msi);
  BOOL InstallDriver();
  // The installers as the attached run knows them.
  qv::bootstrap::DriverPackage PackageOfRun() const;

  std::wstring m_strProgramFiles;
  int m_nPreloadType = 0;

 private:
  IDriverRun* m_pRun = nullptr;
};
