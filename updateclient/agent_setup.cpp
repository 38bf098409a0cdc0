// Keeps an update agent installed, current, running and registered: starts the installed agent
// when it is current, otherwise asks the user, downloads and unpacks the package, starts the
// agent and registers it to start with Windows.
#include "updateclient/agent_setup.h"

#include <windows.h>

#include "updateclient/service_endpoints.h"
#include "updateclient/setup_dialogs.h"
#include "updateclient/win/agent_system.h"
#include "updateclient/win/reg_key_writer.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

std::string AgentFolder() { return GetCommonDataFolder() + kAgentSubfolder; }

LiveUpdateEntry ReadLiveUpdateEntry(const std::string& marker) {
  return FindLiveUpdateEntry(HttpGetMarkup(LiveUpdateUrl(kServiceBaseUrl)), marker);
}

// An end with a result word of its own: traced, and the procedure returns 0.
int EndWith(const char* word, std::string& result) {
  result = word;
  UtTrace(result);
  return 0;
}

int StartInstalledAgent(const std::string& agentPath, const std::string& folder, std::string& result) {
  StartProgramIn(agentPath, folder);
  result = "MSG_OK";
  UtTrace("Function call End");
  return 1;
}

// Confirmation, download and registration; the result word is left empty when the user declines.
void InstallAgent(const AgentVariant& variant, const std::string& address, const std::string& packagePath,
                  std::string& result) {
  const std::string folder = AgentFolder();
  UtTrace("User Confirm window");
  CSetupConfirmDlg confirm;
  confirm.m_nAlternativeText = variant.alternativeTexts ? 1 : 0;
  if (confirm.DoModal() != IDOK) return;

  UtTrace("Download start");
  CSetupProgressDlg progress;
  progress.m_nAlternativeText = variant.alternativeTexts ? 1 : 0;
  progress.m_strUrl = address;
  progress.m_strTargetFolder = folder;
  progress.m_strFilePath = packagePath;
  if (progress.DoModal() != IDOK) {
    UtTrace("fail to download file");
    result = "MSG_DOWNLOAD_FAIL";
    UtTrace(result);
    return;
  }
  UtTrace("Download complete.");
  if (variant.copyLauncher) {
    ::CopyFileA((folder + kLauncherImage).c_str(),
                (GetCommonDataFolder() + kLauncherSubfolder + "\\" + kLauncherImage).c_str(), FALSE);
  }
  const std::string agentPath = folder + variant.agentImage;
  StartProgramIn(agentPath, folder);
  CRegKeyWriter key;
  key.OpenOrCreate(HKEY_LOCAL_MACHINE, kRunKey);
  key.SetText(variant.runValueName, agentPath);
  key.Close();
  key.OpenOrCreate(HKEY_CURRENT_USER, kMakerKey);
  key.SetNumber(variant.autoStartValueName, 1);
  result = "MSG_OK";
  UtTrace(result);
  key.Close();
}

}  // namespace

bool IsAgentUpdateNeeded(const std::string& agentImage, const std::string& entryMarker) {
  const std::string installed = GetFileVersionText(AgentFolder() + agentImage);
  LiveUpdateEntry entry = ReadLiveUpdateEntry(entryMarker);
  return entry.found && entry.version != installed;
}

int RunAgentSetup(const AgentVariant& variant, std::string& result) {
  result.clear();
  UtTrace("**************************************");
  UtTrace(variant.startTrace);
  if (variant.clientImage && FindProcessByName(variant.clientImage) != 0) {
    UtTrace("Check B2CTool running.");
    return EndWith("MSG_TOOL_RUNNING", result);
  }

  const std::string folder = AgentFolder();
  const std::string agentPath = folder + variant.agentImage;
  if (IsAgentUpdateNeeded(variant.agentImage, variant.updateMarker)) {
    KillProcessById(FindProcessByName(variant.agentImage));
  } else {
    if (FindProcessByName(variant.agentImage) != 0 || IsMutexPresent(variant.agentMutex)) {
      UtTrace("Check NotiAgent running.");
      return EndWith("MSG_TOOL_RUNNING", result);
    }
    if (variant.checkPackageVersion) {
      // The installed agent is started only when the update tool's package matches its client.
      const std::string client = GetFileVersionText(folder + "QORClient_CBW.exe");
      LiveUpdateEntry package = ReadLiveUpdateEntry(variant.downloadMarker);
      if (!package.found) {
        UtTrace("Fail to download setup file");
        return EndWith("MSG_SERVER_CONN_ERROR", result);
      }
      if (package.version == client && IsExistingFile(agentPath)) return StartInstalledAgent(agentPath, folder, result);
    } else if (IsExistingFile(agentPath)) {
      return StartInstalledAgent(agentPath, folder, result);
    }
  }

  UtTrace("Check KSVC Site working");
  if (!IsServerReachable(kProbeHost)) return EndWith("MSG_SERVER_CONN_ERROR", result);
  UtTrace("Start download Tool");
  LiveUpdateEntry download = ReadLiveUpdateEntry(variant.downloadMarker);
  // A package name that could leave the agent folder is treated like a missing entry.
  const std::string packageName = download.found ? PackageFileName(download.address) : std::string();
  if (packageName.empty()) {
    UtTrace("Fail to download setup file");
    return EndWith("MSG_SERVER_CONN_ERROR", result);
  }
  CreateFolderPath(folder);
  InstallAgent(variant, download.address, folder + packageName, result);
  UtTrace("Function call End");
  return 1;
}

}  // namespace qv::updateclient
