// The agents' decisions and trace lines; every call on the system goes through the LibraryPc.
#include "updateclient/core/agent_setup.h"

#include "updateclient/core/agent_steps.h"
#include "updateclient/core/transfer.h"

namespace qv::updateclient {

namespace {

// One run of the procedure: the PC, the service and the folders it works in.
struct AgentRun {
  LibraryPc& pc;
  const ServiceEndpoints& service;
  const AgentVariant& variant;
  std::string root;    // the common data folder, with its final backslash
  std::string folder;  // the agents' folder, with its final backslash
  qv::SignaturePolicy policy;
};

LiveUpdateEntry ReadLiveUpdateEntry(LibraryPc& pc, const ServiceEndpoints& service, const std::string& marker) {
  return FindLiveUpdateEntry(pc.GetMarkup(LiveUpdateUrl(service.baseUrl)), marker);
}

// An end with a result word of its own: traced, and the procedure returns 0.
int EndWith(LibraryPc& pc, const char* word, std::string& result) {
  result = word;
  pc.Trace(result);
  return 0;
}

// The launcher's folder and the agents' folder, made (when |create|) or taken back so that only
// administrators can change them, with no link on the way. A folder that is not there yet is left
// to the installation when not asked to create it.
bool SecureAgentFolders(LibraryPc& pc, const std::string& root, bool create) {
  for (const std::string& folder : {root + kLauncherSubfolder, root + kAgentSubfolder}) {
    const std::string path = folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
    if (!create && !pc.AnythingAt(path)) continue;
    if (!EnsureAgentFolder(pc, path)) return false;
  }
  return true;
}

// Starts an agent only when it may be started (HoldStartableAgent). A package without the agent
// leaves nothing to start and is no failure; an agent that is there and does not start is one, as
// the agent would not run.
bool StartCheckedAgent(AgentRun& run, const std::string& agentPath) {
  if (run.pc.IsFreeOfLinks(agentPath) && !run.pc.FileExists(agentPath)) return true;
  const std::unique_ptr<HeldProgram> agent = HoldStartableAgent(run.pc, agentPath, run.policy);
  return agent && StartAgentProgram(run.pc, agentPath, run.folder);
}

int StartInstalledAgent(AgentRun& run, const std::string& agentPath, std::string& result) {
  if (!StartCheckedAgent(run, agentPath)) return EndWith(run.pc, "MSG_FUNCTION_FAIL", result);
  result = "MSG_OK";
  run.pc.Trace("Function call End");
  return 1;
}

// Confirmation, download and registration; the result word is left empty when the user declines.
// Returns 0 when the installation failed (nothing is started or registered then), else 1.
int InstallAgent(AgentRun& run, const std::string& address, const std::string& packagePath, std::string& result) {
  LibraryPc& pc = run.pc;
  pc.Trace("User Confirm window");
  if (!pc.AskToInstall(run.variant.alternativeTexts)) return 1;

  pc.Trace("Download start");
  PackageDownload download;
  download.url = address;
  download.targetFolder = run.folder;
  download.filePath = packagePath;
  download.policy = &run.policy;
  download.alternativeTexts = run.variant.alternativeTexts;
  const DownloadShown shown = pc.ShowDownload(download);
  if (shown != DownloadShown::kInstalled) {
    // Cancelled by the user, or a package that did not arrive whole or could not be put in
    // place: the agent that was there stays as it was.
    pc.Trace("fail to download file");
    result = "MSG_DOWNLOAD_FAIL";
    pc.Trace(result);
    return shown == DownloadShown::kCancelled ? 1 : 0;
  }
  pc.Trace("Download complete.");
  if (run.variant.copyLauncher) {
    CopyAgentFile(pc, run.folder + kLauncherImage, run.root + kLauncherSubfolder + "\\" + kLauncherImage);
  }
  const std::string agentPath = run.folder + run.variant.agentImage;
  if (!StartCheckedAgent(run, agentPath)) return EndWith(pc, "MSG_FUNCTION_FAIL", result);
  // Registered to start with Windows, or the installation failed: an agent that would not start
  // again at the next logon is no installed agent.
  if (!WriteRegistryValues(pc, RegistryRoot::LocalMachine, kRunKey,
                           {{run.variant.runValueName, QuotedRunValue(agentPath)}}) ||
      !WriteRegistryValues(pc, RegistryRoot::CurrentUser, kMakerKey,
                           {{run.variant.autoStartValueName, std::string(), 1, true}})) {
    return EndWith(pc, "MSG_FUNCTION_FAIL", result);
  }
  result = "MSG_OK";
  pc.Trace(result);
  return 1;
}

}  // namespace

bool IsAgentUpdateNeeded(LibraryPc& pc, const ServiceEndpoints& service, const std::string& agentFolder,
                         const std::string& agentImage, const std::string& entryMarker) {
  const std::string installed = pc.FileVersionText(agentFolder + agentImage);
  const LiveUpdateEntry entry = ReadLiveUpdateEntry(pc, service, entryMarker);
  return entry.found && entry.version != installed;
}

int RunAgentSetup(LibraryPc& pc, const ServiceEndpoints& service, const AgentVariant& variant, std::string& result) {
  result.clear();
  pc.Trace("**************************************");
  pc.Trace(variant.startTrace);
  if (variant.clientImage && pc.FindProcess(variant.clientImage) != 0) {
    pc.Trace("Check B2CTool running.");
    return EndWith(pc, "MSG_TOOL_RUNNING", result);
  }

  AgentRun run{pc, service, variant, pc.CommonDataFolder(), std::string(), qv::SignaturePolicy()};
  run.folder = run.root + kAgentSubfolder;
  if (!HasFullAgentRoot(pc, run.root)) return EndWith(pc, "MSG_FUNCTION_FAIL", result);
  if (!SecureAgentFolders(pc, run.root, false)) return EndWith(pc, "MSG_FUNCTION_FAIL", result);
  const std::string agentPath = run.folder + variant.agentImage;
  run.policy = pc.ReadSignaturePolicy();
  if (IsAgentUpdateNeeded(pc, service, run.folder, variant.agentImage, variant.updateMarker)) {
    pc.EndProcess(pc.FindProcess(variant.agentImage), variant.agentImage);
  } else {
    if (pc.FindProcess(variant.agentImage) != 0 || pc.IsMutexPresent(variant.agentMutex)) {
      pc.Trace("Check NotiAgent running.");
      return EndWith(pc, "MSG_TOOL_RUNNING", result);
    }
    if (variant.checkPackageVersion) {
      // The installed agent is started only when the update tool's package matches its client.
      const std::string client = pc.FileVersionText(run.folder + variant.clientImage);
      const LiveUpdateEntry package = ReadLiveUpdateEntry(pc, service, variant.downloadMarker);
      if (!package.found) {
        pc.Trace("Fail to download setup file");
        return EndWith(pc, "MSG_SERVER_CONN_ERROR", result);
      }
      if (package.version == client && pc.FileExists(agentPath)) return StartInstalledAgent(run, agentPath, result);
    } else if (pc.FileExists(agentPath)) {
      return StartInstalledAgent(run, agentPath, result);
    }
  }

  pc.Trace("Check KSVC Site working");
  if (!pc.IsServerReachable(service.probeHost)) return EndWith(pc, "MSG_SERVER_CONN_ERROR", result);
  pc.Trace("Start download Tool");
  const LiveUpdateEntry download = ReadLiveUpdateEntry(pc, service, variant.downloadMarker);
  // A package name that could leave the agent folder, or an address that is not HTTP, is treated
  // like a missing entry.
  std::string packageName = download.found ? PackageFileName(download.address) : std::string();
  const std::string refused = WhyAddressRefused(download.address);
  if (!packageName.empty() && !refused.empty()) {
    pc.Trace(refused);
    packageName.clear();
  }
  if (packageName.empty()) {
    pc.Trace("Fail to download setup file");
    return EndWith(pc, "MSG_SERVER_CONN_ERROR", result);
  }
  if (!SecureAgentFolders(pc, run.root, true)) return EndWith(pc, "MSG_FUNCTION_FAIL", result);
  if (InstallAgent(run, download.address, run.folder + packageName, result) == 0) return 0;
  pc.Trace("Function call End");
  return 1;
}

int LaunchPhoneUpdateTool(LibraryPc& pc) {
  pc.Trace(std::string(56, '*'));
  pc.Trace("Phone software update tool - Call START");
  // The launcher reads the request at its start: without it written there is nothing to start.
  if (!WriteRegistryValues(pc, RegistryRoot::CurrentUser, kMakerKey,
                           {{"SYNCUPDATE", "TRUE"}, {"SYNCTYPE", "PXPC"}})) {
    return 0;
  }

  const std::string root = pc.CommonDataFolder();
  if (!HasFullAgentRoot(pc, root)) return 0;
  const std::string folder = root + kLauncherSubfolder;
  // The launcher's folder is made, or taken back, so that only administrators can change it.
  if (!EnsureAgentFolder(pc, folder)) return 0;
  pc.Trace("Check QOR Launcher");
  const std::string launcher = folder + "\\" + kLauncherImage;
  if (!pc.FileExists(launcher)) {
    pc.Trace("QOR tool Not exist.");
    return 0;
  }
  const std::unique_ptr<HeldProgram> held = HoldStartableAgent(pc, launcher, pc.ReadSignaturePolicy());
  if (!held) return 0;
  pc.Trace("Call Launcher");
  if (!StartAgentProgram(pc, launcher, folder)) return 0;
  pc.Trace("Phone software update tool - Call END");
  return 1;
}

}  // namespace qv::updateclient
