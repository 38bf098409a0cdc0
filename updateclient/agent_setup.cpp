// Keeps an update agent installed, current, running and registered: starts the installed agent
// when it is current, otherwise asks the user, downloads and unpacks the package, starts the
// agent and registers it to start with Windows.
#include "updateclient/agent_setup.h"

#include <windows.h>

#include "updateclient/core/transfer.h"
#include "updateclient/service_endpoints.h"
#include "updateclient/setup_dialogs.h"
#include "updateclient/win/agent_files.h"
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

// The launcher's folder and the agents' folder, made (when |create|) or taken back so that only
// administrators can change them, with no link on the way. A folder that is not there yet is left
// to the installation when not asked to create it.
bool SecureAgentFolders(bool create) {
  const std::string root = GetCommonDataFolder();
  for (const std::string& folder : {root + kLauncherSubfolder, root + kAgentSubfolder}) {
    const std::string path = folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
    if (!create && ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (!EnsureAgentFolder(path)) return false;
  }
  return true;
}

// Starts an agent only when it may be started (HoldStartableAgent). A package without the agent
// leaves nothing to start and is no failure; an agent that is there and does not start is one, as
// the agent would not run.
bool StartCheckedAgent(const std::string& agentPath, const std::string& folder, const qv::SignaturePolicy& policy) {
  if (IsAgentPathFreeOfLinks(agentPath) && !IsExistingFile(agentPath)) return true;
  const qv::CHeldFile agent = HoldStartableAgent(agentPath, policy);
  return agent.IsHeld() && StartAgentProgram(agentPath, folder);
}

int StartInstalledAgent(const std::string& agentPath, const std::string& folder, const qv::SignaturePolicy& policy,
                        std::string& result) {
  if (!StartCheckedAgent(agentPath, folder, policy)) return EndWith("MSG_FUNCTION_FAIL", result);
  result = "MSG_OK";
  UtTrace("Function call End");
  return 1;
}

// Confirmation, download and registration; the result word is left empty when the user declines.
// Returns 0 when the installation failed (nothing is started or registered then), else 1.
int InstallAgent(const AgentVariant& variant, const std::string& address, const std::string& packagePath,
                 const qv::SignaturePolicy& policy, std::string& result) {
  const std::string folder = AgentFolder();
  UtTrace("User Confirm window");
  CSetupConfirmDlg confirm;
  confirm.m_nAlternativeText = variant.alternativeTexts ? 1 : 0;
  if (confirm.DoModal() != IDOK) return 1;

  UtTrace("Download start");
  CSetupProgressDlg progress;
  progress.m_nAlternativeText = variant.alternativeTexts ? 1 : 0;
  progress.m_strUrl = address;
  progress.m_strTargetFolder = folder;
  progress.m_strFilePath = packagePath;
  progress.m_signaturePolicy = policy;
  const bool accepted = progress.DoModal() == IDOK;
  if (!accepted || !progress.m_bInstalled) {
    // Cancelled by the user, or a package that did not arrive whole or could not be put in
    // place: the agent that was there stays as it was.
    UtTrace("fail to download file");
    result = "MSG_DOWNLOAD_FAIL";
    UtTrace(result);
    return accepted ? 0 : 1;
  }
  UtTrace("Download complete.");
  if (variant.copyLauncher) {
    CopyAgentFile(folder + kLauncherImage, GetCommonDataFolder() + kLauncherSubfolder + "\\" + kLauncherImage);
  }
  const std::string agentPath = folder + variant.agentImage;
  if (!StartCheckedAgent(agentPath, folder, policy)) return EndWith("MSG_FUNCTION_FAIL", result);
  // Registered to start with Windows, or the installation failed: an agent that would not start
  // again at the next logon is no installed agent.
  if (!WriteRegistryValues(HKEY_LOCAL_MACHINE, "HKLM", kRunKey, {{variant.runValueName, QuotedRunValue(agentPath)}}) ||
      !WriteRegistryValues(HKEY_CURRENT_USER, "HKCU", kMakerKey,
                           {{variant.autoStartValueName, std::string(), 1, true}})) {
    return EndWith("MSG_FUNCTION_FAIL", result);
  }
  result = "MSG_OK";
  UtTrace(result);
  return 1;
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

  if (!HasFullAgentRoot()) return EndWith("MSG_FUNCTION_FAIL", result);
  if (!SecureAgentFolders(false)) return EndWith("MSG_FUNCTION_FAIL", result);
  const std::string folder = AgentFolder();
  const std::string agentPath = folder + variant.agentImage;
  const qv::SignaturePolicy policy = ReadAgentSignaturePolicy();
  if (IsAgentUpdateNeeded(variant.agentImage, variant.updateMarker)) {
    KillProcessById(FindProcessByName(variant.agentImage), variant.agentImage);
  } else {
    if (FindProcessByName(variant.agentImage) != 0 || IsMutexPresent(variant.agentMutex)) {
      UtTrace("Check NotiAgent running.");
      return EndWith("MSG_TOOL_RUNNING", result);
    }
    if (variant.checkPackageVersion) {
      // The installed agent is started only when the update tool's package matches its client.
      const std::string client = GetFileVersionText(folder + variant.clientImage);
      LiveUpdateEntry package = ReadLiveUpdateEntry(variant.downloadMarker);
      if (!package.found) {
        UtTrace("Fail to download setup file");
        return EndWith("MSG_SERVER_CONN_ERROR", result);
      }
      if (package.version == client && IsExistingFile(agentPath)) return StartInstalledAgent(agentPath, folder, policy, result);
    } else if (IsExistingFile(agentPath)) {
      return StartInstalledAgent(agentPath, folder, policy, result);
    }
  }

  UtTrace("Check KSVC Site working");
  if (!IsServerReachable(kProbeHost)) return EndWith("MSG_SERVER_CONN_ERROR", result);
  UtTrace("Start download Tool");
  LiveUpdateEntry download = ReadLiveUpdateEntry(variant.downloadMarker);
  // A package name that could leave the agent folder, or an address that is not HTTP, is treated
  // like a missing entry.
  std::string packageName = download.found ? PackageFileName(download.address) : std::string();
  if (!packageName.empty() && !WhyAddressRefused(download.address).empty()) {
    UtTrace(WhyAddressRefused(download.address));
    packageName.clear();
  }
  if (packageName.empty()) {
    UtTrace("Fail to download setup file");
    return EndWith("MSG_SERVER_CONN_ERROR", result);
  }
  if (!SecureAgentFolders(true)) return EndWith("MSG_FUNCTION_FAIL", result);
  if (InstallAgent(variant, download.address, folder + packageName, policy, result) == 0) return 0;
  UtTrace("Function call End");
  return 1;
}

}  // namespace qv::updateclient
