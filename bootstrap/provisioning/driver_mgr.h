// The USB driver manager: which family the phone carries, whether its files are installed and
// current under Program Files, and the installation through msiexec or a setup program.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/win/held_file.h"

// What the driver manager reads of the run it serves, and the two things it does to it. The main
// dialog implements it; nothing here reaches the dialog any other way.
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
  // Brings the run's window back in front after an installer's windows.
  virtual void BringToFront() = 0;
  // Whether the file at |path| may be used as the maker's: when the phone asks for the maker's
  // signature, only while |held| holds it and it carries that signature (refusals traced);
  // otherwise always, and nothing is held.
  virtual bool HoldIfSignedByMaker(const std::wstring& path, qv::CHeldFile& held) const = 0;

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
  SHELLEXECUTEINFOW RunInstaller(const std::wstring& path, const std::wstring& option, BOOL msi);
  BOOL InstallDriver();

  std::wstring m_strProgramFiles;
  int m_nPreloadType = 0;

 private:
  // The phone's own driver installer ("E:\\setup.exe"); empty without a phone drive or preload.
  std::wstring PhonePreloadPath() const;

  IDriverRun* m_pRun = nullptr;
};
