// The shared steps of the agents' procedures, each refusal traced in one line that names the path.
#include "updateclient/core/agent_steps.h"

#include "updateclient/core/agent_rules.h"

namespace qv::updateclient {

bool HasFullAgentRoot(LibraryPc& pc, const std::string& root) {
  if (IsFullFolderPath(root)) return true;
  pc.Trace("Agent root folder is not a full path: [" + root + "]");
  return false;
}

bool EnsureAgentFolder(LibraryPc& pc, const std::string& folder) {
  if (!pc.IsFreeOfLinks(folder)) {
    pc.Trace("Agent folder refused: " + folder);
    return false;
  }
  return pc.ProtectFolder(folder);
}

std::unique_ptr<HeldProgram> HoldStartableAgent(LibraryPc& pc, const std::string& path,
                                                const qv::SignaturePolicy& policy) {
  // Anything another user could change may be that user's program waiting to be run.
  std::unique_ptr<HeldProgram> held =
      pc.IsFreeOfLinks(path) && pc.IsAdministratorsOnly(path) ? pc.HoldProgram(path) : nullptr;
  if (!held) {
    pc.Trace("Agent refused: " + path);
    return nullptr;
  }
  if (!pc.IsSignedByMaker(policy, *held)) return nullptr;
  return held;
}

bool StartAgentProgram(LibraryPc& pc, const std::string& path, const std::string& folder) {
  unsigned error = 0;
  if (pc.StartProgram(path, folder, error)) return true;
  pc.Trace("Agent start failed: " + path + ", error " + std::to_string(error));
  return false;
}

bool WriteRegistryValues(LibraryPc& pc, RegistryRoot root, const std::string& subKey,
                         std::initializer_list<RegistryValue> values) {
  const RegistryWrite write = pc.WriteValues(root, subKey, values);
  const std::string where = std::string(root == RegistryRoot::LocalMachine ? "HKLM" : "HKCU") + "\\" + subKey;
  if (!write.keyOpened) {
    pc.Trace("Registry write failed: [" + where + "] cannot be opened or created, error " +
             std::to_string(write.error));
    return false;
  }
  if (write.written >= values.size()) return true;
  pc.Trace("Registry write failed: [" + where + "] " + values.begin()[write.written].name + ", error " +
           std::to_string(write.error));
  return false;
}

bool CopyAgentFile(LibraryPc& pc, const std::string& source, const std::string& target) {
  if (!pc.IsFreeOfLinks(source) || !pc.IsFreeOfLinks(target)) {
    pc.Trace("Agent file refused: " + target);
    return false;
  }
  return pc.CopyFileOver(source, target);
}

}  // namespace qv::updateclient
