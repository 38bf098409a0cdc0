// The USB driver manager's part on the system: the Program Files folder that the driver families
// install under, and the run whose config.ini the driver's decisions read. The decisions and the
// installation's sequence are the portable core's (bootstrap/core/driver_steps.h).
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/core/pc_system.h"

// What the run that the driver manager serves tells of itself. The main dialog implements it.
class IDriverRun {
 public:
  // A value of the phone's config.ini, beside the program, as this start may read it.
  virtual std::wstring GetConfigString(const std::wstring& section, const std::wstring& key) const = 0;

 protected:
  ~IDriverRun() = default;
};

class CDriverMgr {
 public:
  // Reads the Program Files folder.
  CDriverMgr();
  virtual ~CDriverMgr() = default;

  // The run whose config.ini the driver's decisions read; without one they read nothing.
  void AttachRun(IDriverRun* run) { m_pRun = run; }
  // A value of the attached run's config.ini; empty without a run.
  std::wstring GetConfigString(const std::wstring& section, const std::wstring& key) const;

  std::wstring m_strProgramFiles;  // empty when the system does not name it

 private:
  IDriverRun* m_pRun = nullptr;
};
