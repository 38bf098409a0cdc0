// What a PC start knows and learns while it runs: the phone's configuration, the update check's
// findings, the downloads and the driver. The main dialog carries these fields, and the workflow
// reads and fills them.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "bootstrap/core/file_hold.h"

namespace qv::bootstrap {

struct RunFields {
  // The program's folder ("C:\...\E\", with its final backslash) and the phone's drive (the
  // letter "E" given at the relaunch, or the program's folder when started without one).
  std::wstring m_strModulePath;
  std::wstring m_strPhoneDrive;
  // From the phone's config.ini.
  std::wstring m_strPxpcName;
  std::wstring m_strModelType;
  std::wstring m_strPxpcTestVer;
  // The phone's driver installer (its path beside the program), its family's text ("unison" once
  // found so) and its family (0 while none is known).
  std::wstring m_strPreloadDriver;
  std::wstring m_strPreloadType;
  int m_nPreloadType = 0;
  // The update check: the package's base URL, the package folder, the downloaded serverconfig.ini.
  std::wstring m_strDownloadURL;
  std::wstring m_strDownloadPath;
  std::wstring m_strServerConfigFile;
  int m_bAbnormalStatus = 0;
  // What is due.
  int m_bRequireDrv = 0;
  int m_bRequireUpPxpc = 0;
  // The download's findings about the driver.
  std::wstring m_strDriverPath;
  int m_bPxpcInstallsDriver = 0;
  int m_bPreloadSame = 0;
  // The package's files of code proven to bear the maker's signature before the tool's start,
  // held from their check until the run ends.
  std::vector<std::unique_ptr<FileHold>> m_provenPackageFiles;
  // The folders the tool was started from, held from its start until the run ends.
  std::vector<std::unique_ptr<FolderHold>> m_heldFolders;
  // The user's cancel of the download, set from the window's thread.
  std::atomic<int> m_bUserCancel{0};
};

}  // namespace qv::bootstrap
