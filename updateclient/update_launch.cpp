// The registry request comes first, so that the launcher finds it when it starts.
#include "updateclient/update_launch.h"

#include <string>

#include "updateclient/core/agent_rules.h"
#include "updateclient/win/agent_files.h"
#include "updateclient/win/agent_system.h"
#include "updateclient/win/reg_key_writer.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

int LaunchPhoneUpdateTool() {
  UtTrace(std::string(56, '*'));
  UtTrace("Phone software update tool - Call START");
  // The launcher reads the request at its start: without it written there is nothing to start.
  if (!WriteRegistryValues(HKEY_CURRENT_USER, "HKCU", kMakerKey, {{"SYNCUPDATE", "TRUE"}, {"SYNCTYPE", "PXPC"}})) {
    return 0;
  }

  if (!HasFullAgentRoot()) return 0;
  const std::string folder = GetCommonDataFolder() + kLauncherSubfolder;
  // The launcher's folder is made, or taken back, so that only administrators can change it.
  if (!EnsureAgentFolder(folder)) return 0;
  UtTrace("Check QOR Launcher");
  const std::string launcher = folder + "\\" + kLauncherImage;
  if (!IsExistingFile(launcher)) {
    UtTrace("QOR tool Not exist.");
    return 0;
  }
  const qv::CHeldFile held = HoldStartableAgent(launcher, ReadAgentSignaturePolicy());
  if (!held.IsHeld()) return 0;
  UtTrace("Call Launcher");
  if (!StartAgentProgram(launcher, folder)) return 0;
  UtTrace("Phone software update tool - Call END");
  return 1;
}

}  // namespace qv::updateclient
