// What the agent installation decides without touching the system: the two agents' fixed names,
// the entries of the server's live-update list, the installed version text, and which names from
// the server or from a cabinet may become files in the agent folder.
#pragma once

#include <string>
#include <vector>

namespace qv::updateclient {

// The fixed names and choices that tell the update tool's notification agent from the update
// assistant's agent.
struct AgentVariant {
  const char* startTrace;
  const char* clientImage;    // the update tool's client, checked first; null: no such check
  const char* agentImage;
  const char* updateMarker;   // the entry whose version tells whether the agent is current
  const char* agentMutex;
  bool checkPackageVersion;   // start the installed agent only when the package matches the client
                              // (needs clientImage)
  const char* downloadMarker; // the entry whose address is the package to download
  bool alternativeTexts;      // the dialogs show the alternative texts
  bool copyLauncher;          // copy the update tool's launcher out of the agent folder
  const char* runValueName;
  const char* autoStartValueName;
};

extern const AgentVariant kNotificationAgent;  // CheckUTSetup
extern const AgentVariant kAssistantAgent;     // CheckUASetup

// The agents' folder and the launcher's, below the common application data folder.
constexpr char kAgentSubfolder[] = "QVMOBILEAX\\QOR_Client\\";
constexpr char kLauncherSubfolder[] = "QVMOBILEAX";
constexpr char kLauncherImage[] = "QORLauncher.exe";

// The registry keys the installation and the launch write to.
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";        // HKEY_LOCAL_MACHINE
constexpr char kMakerKey[] = "Software\\LowRegistry\\QV Electronics Inc\\QVMobileAX";  // HKEY_CURRENT_USER

std::string LiveUpdateUrl(const std::string& base);

// One entry of the live-update list, found by its marker, e.g.
//   name='QOREUTProg' version='1.0.1.4' url='http://host/QOREUTProg.cab' />
struct LiveUpdateEntry {
  bool found = false;  // the marker occurs at position 1 or later
  std::string version;
  std::string address;
};

// Searches |list| as plain text. An entry without "/>", or whose "/>" follows the marker at once,
// is found with an empty version and address; a part that is missing gives empty text, never a
// read outside the list.
LiveUpdateEntry FindLiveUpdateEntry(const std::string& list, const std::string& marker);

// A FileVersion text as the agents compare it: blanks removed, commas turned into dots
// ("1, 0, 1, 4" -> "1.0.1.4").
std::string NormalizeVersionText(const std::string& fileVersion);

// The package's file name: the address after its last '/'. Empty when that name could leave the
// agent folder or is not a plain file name (empty, a backslash, a drive or colon, "..").
std::string PackageFileName(const std::string& address);

// True for a name inside a cabinet that stays inside the folder it is unpacked into.
bool IsSafeCabinetEntryName(const std::string& name);

// |folder|, a backslash when it does not end with one, and |name|.
std::string JoinFolderAndName(const std::string& folder, const std::string& name);

// The Run value that starts an agent at logon: its full path in double quotes, so that a path with
// blanks names that one program and not the first word of it.
std::string QuotedRunValue(const std::string& agentPath);

// True for a folder given by its full path: "X:\..." on a drive, or "\\server\share\...". An empty
// or relative root would put the agents wherever the caller's current folder happens to be.
bool IsFullFolderPath(const std::string& folder);

// What putting an unpacked package in place takes: the sub-folders to make in the agent folder
// (outermost first, each once) and the files to move there, named relative to the folder the
// package was unpacked into ("data\\x.dll"). A name that could leave the folder is left out.
struct ReplacementPlan {
  std::vector<std::string> folders;
  std::vector<std::string> files;
};
ReplacementPlan PlanReplacement(const std::vector<std::string>& stagedFiles);

// True when the path's last three characters are "cab" in any case.
bool HasCabinetName(const std::string& path);

}  // namespace qv::updateclient
