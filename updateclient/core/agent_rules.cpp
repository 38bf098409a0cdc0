// The agents' table, the live-update entry extraction and the name rules of the agent folder.
#include "updateclient/core/agent_rules.h"

#include <algorithm>
#include <cctype>

#include "common/core/contained_name.h"

namespace qv::updateclient {

// One field a line, in the order of AgentVariant. clang-format off
const AgentVariant kNotificationAgent = {
    "UTSetup Function call Start",  // startTrace
    "QORClient_CBW.exe",            // clientImage
    "CBWNotiAgent.exe",             // agentImage
    "name='NotiAgent_QOR'",         // updateMarker
    "Global_QVSWAGENT_CBW",         // agentMutex
    true,                           // checkPackageVersion
    "name='QOREUTProg'",            // downloadMarker
    false,                          // alternativeTexts
    true,                           // copyLauncher
    "QOR_AGENT",                    // runValueName
    "AutoStart",                    // autoStartValueName
};

const AgentVariant kAssistantAgent = {
    "UASetup Function call Start",  // startTrace
    nullptr,                        // clientImage
    "CBWUAAgent.exe",               // agentImage
    "name='NotiAgent_QOR_UA'",      // updateMarker
    "Global_QVUAAGENT_CBW",         // agentMutex
    false,                          // checkPackageVersion
    "name='NotiAgent_QOR_UA'",      // downloadMarker
    true,                           // alternativeTexts
    false,                          // copyLauncher
    "QORUA_AGENT",                  // runValueName
    "UAAutoStart",                  // autoStartValueName
};
// clang-format on

std::string LiveUpdateUrl(const std::string& base) { return base + "/client/app/live_update.jsp"; }

LiveUpdateEntry FindLiveUpdateEntry(const std::string& list, const std::string& marker) {
  LiveUpdateEntry entry;
  size_t at = marker.empty() ? std::string::npos : list.find(marker);
  if (at == std::string::npos || at < 1) return entry;
  entry.found = true;
  size_t from = at + marker.size();
  size_t close = list.find("/>", from);
  if (close == std::string::npos || close == from) return entry;
  // The entry's text ends before the character that precedes "/>" (the blank).
  const std::string text = list.substr(from, close - 1 - from);

  size_t versionEnd = text.find("' url=");
  size_t versionStart = text.find("version='");
  if (versionStart != std::string::npos && versionEnd != std::string::npos) {
    versionStart += 9;
    if (versionEnd >= versionStart) entry.version = text.substr(versionStart, versionEnd - versionStart);
  }
  size_t url = text.find("url=");
  if (url != std::string::npos && text.size() > url + 5) {
    size_t begin = url + 5;  // past "url=" and the opening quote
    entry.address = text.substr(begin, text.size() - 1 - begin);
  }
  return entry;
}

std::string NormalizeVersionText(const std::string& fileVersion) {
  std::string text;
  for (char c : fileVersion) {
    if (c == ' ') continue;
    text += c == ',' ? '.' : c;
  }
  return text;
}

std::string PackageFileName(const std::string& address) {
  size_t slash = address.rfind('/');
  std::string name = slash == std::string::npos ? address : address.substr(slash + 1);
  if (name.find('\\') != std::string::npos || !qv::IsContainedName(name)) return std::string();
  return name;
}

bool IsSafeCabinetEntryName(const std::string& name) { return qv::IsContainedName(name); }

std::string JoinFolderAndName(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() != '\\') return folder + "\\" + name;
  return folder + name;
}

bool HasCabinetName(const std::string& path) {
  if (path.size() < 3) return false;
  const char* tail = path.c_str() + path.size() - 3;
  return std::tolower(static_cast<unsigned char>(tail[0])) == 'c' &&
         std::tolower(static_cast<unsigned char>(tail[1])) == 'a' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'b';
}

ReplacementPlan PlanReplacement(const std::vector<std::string>& stagedFiles) {
  ReplacementPlan plan;
  for (const std::string& name : stagedFiles) {
    if (!IsSafeCabinetEntryName(name)) continue;
    for (size_t end = name.find('\\'); end != std::string::npos; end = name.find('\\', end + 1)) {
      const std::string folder = name.substr(0, end);
      if (std::find(plan.folders.begin(), plan.folders.end(), folder) == plan.folders.end()) {
        plan.folders.push_back(folder);
      }
    }
    plan.files.push_back(name);
  }
  return plan;
}

std::string QuotedRunValue(const std::string& agentPath) { return "\"" + agentPath + "\""; }

bool IsFullFolderPath(const std::string& folder) {
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (folder.size() >= 3 && isLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') return true;
  // A share: two backslashes, then a server name that is not "." or "?" (device and long-path forms).
  return folder.size() >= 5 && folder.compare(0, 2, "\\\\") == 0 && folder[2] != '\\' && folder[2] != '.' &&
         folder[2] != '?' && folder.find('\\', 3) != std::string::npos;
}

}  // namespace qv::updateclient
