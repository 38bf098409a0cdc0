// The agent installation's and the launcher start's decision tree on a scripted PC: what is asked,
// started, downloaded and registered, in order, with every trace line.
#include "updateclient/core/agent_setup.h"

#include <gtest/gtest.h>

#include "tests/native/updateclient/scripted_library_pc.h"

using namespace qv::updateclient;
using qv::updateclient::testing::ScriptedLibraryPc;
using Events = std::vector<std::string>;
using Result = std::pair<int, std::string>;  // (returned, result word)

namespace {

const ServiceEndpoints kService{"http://svc", "probe"};
const std::string kRoot = "C:\\ProgramData\\";
const std::string kLauncherFolder = kRoot + "QVMOBILEAX";
const std::string kAgentFolder = kLauncherFolder + "\\QOR_Client";
const std::string kFolder = kAgentFolder + "\\";
const std::string kList = "http://svc/client/app/live_update.jsp";
const std::string kStars(38, '*');
const std::string kRunKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kMakerKey = "HKCU\\Software\\LowRegistry\\QV Electronics Inc\\QVMobileAX";

std::string Entry(const std::string& name, const std::string& version, const std::string& url) {
  return " name='" + name + "' version='" + version + "' url='" + url + "' />";
}

Events Then(Events first, const Events& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

// The record of one run from its start; Tail(n) its last n lines.
struct Recorded {
  Events run;
  Events Tail(size_t n) const { return Events(run.end() - static_cast<std::ptrdiff_t>(std::min(n, run.size())), run.end()); }
};

class AgentSetup : public ::testing::Test, protected Recorded {
 protected:
  AgentSetup() {
    pc.root = kRoot;
    SetEntry("NotiAgent_QOR", "1.0.1.4", "http://dl/NotiAgent.cab");
    SetEntry("QOREUTProg", "1.0.1.4", "http://dl/QOREUTProg.CAB");
    SetEntry("NotiAgent_QOR_UA", "1.0.1.4", "http://dl/NotiAgent_QOR_UA.cab");
  }

  // The live-update list with |name|'s entry as given (an empty |url| drops the entry).
  void SetEntry(const std::string& name, const std::string& version, const std::string& url) {
    if (url.empty()) entries.erase(name);
    else entries[name] = Entry(name, version, url);
    std::string list = "<list>";
    for (const auto& entry : entries) list += entry.second;
    pc.server[kList] = list;
  }

  void InstallFolders() { pc.folders.insert({kLauncherFolder, kAgentFolder}); }

  Result Run(const AgentVariant& variant) {
    const size_t from = pc.events.size();
    std::string result = "stale";
    const int returned = RunAgentSetup(pc, kService, variant, result);
    run = pc.EventsFrom(from);
    return {returned, result};
  }

  // The record up to the first line of the live-update check, for a run that finds its folders.
  static Events Opening(const char* start) {
    return {kStars, start, "> Protect " + kLauncherFolder, "> Protect " + kAgentFolder, "> ReadSignaturePolicy", "> GET " + kList};
  }

  ScriptedLibraryPc pc;
  std::map<std::string, std::string> entries;
};

TEST_F(AgentSetup, RunningClientOrAgentMeansNothingToDo) {
  pc.processes["QORClient_CBW.exe"] = 7;
  EXPECT_EQ(Run(kNotificationAgent), Result(0, "MSG_TOOL_RUNNING"));
  EXPECT_EQ(run, (Events{kStars, "UTSetup Function call Start", "Check B2CTool running.", "MSG_TOOL_RUNNING"}));

  // A current agent that runs, seen by its process or only by its mutex: the list is read once.
  pc.processes = {{"CBWNotiAgent.exe", 8}};
  pc.files[kFolder + "CBWNotiAgent.exe"] = "1.0.1.4";
  InstallFolders();
  EXPECT_EQ(Run(kNotificationAgent), Result(0, "MSG_TOOL_RUNNING"));
  EXPECT_EQ(run, Then(Opening("UTSetup Function call Start"), {"Check NotiAgent running.", "MSG_TOOL_RUNNING"}));

  pc.processes.clear();
  pc.mutexes.insert("Global_QVUAAGENT_CBW");
  pc.files[kFolder + "CBWUAAgent.exe"] = "1.0.1.4";
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_TOOL_RUNNING"));
  EXPECT_EQ(run, Then(Opening("UASetup Function call Start"), {"Check NotiAgent running.", "MSG_TOOL_RUNNING"}));
}

TEST_F(AgentSetup, CurrentInstalledAgentIsHeldAndStartedInItsFolderUnlessItMayNotOrDoesNotStart) {
  InstallFolders();
  const std::string agent = kFolder + "CBWUAAgent.exe";
  pc.files[agent] = "1.0.1.4";
  const Events opening = Opening("UASetup Function call Start");
  EXPECT_EQ(Run(kAssistantAgent), Result(1, "MSG_OK"));
  EXPECT_EQ(run, Then(opening, {"> Hold " + agent, "> Start " + agent + " in " + kFolder + " (held)", "Function call End"}));

  // Open to others, not holdable, or (once the maker's setting asks for one) without its signature.
  for (std::set<std::string>* refusing : {&pc.openToEveryone, &pc.unholdable}) {
    refusing->insert(agent);
    EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_FUNCTION_FAIL"));
    EXPECT_EQ(run, Then(opening, {"Agent refused: " + agent, "MSG_FUNCTION_FAIL"}));
    refusing->clear();
  }
  pc.policy.publisher = L"Demo Maker Ltd";
  pc.unsignedFiles.insert(agent);
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(run, Then(opening, {"> Hold " + agent, "[SIGNATURE] [" + agent + "] refused", "MSG_FUNCTION_FAIL"}));
  pc.unsignedFiles.clear();
  pc.startErrors[agent] = 193;
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(Tail(2), (Events{"Agent start failed: " + agent + ", error 193", "MSG_FUNCTION_FAIL"}));
}

TEST_F(AgentSetup, NotificationAgentStartsOnlyWhenThePackageMatchesItsClient) {
  InstallFolders();
  pc.files[kFolder + "CBWNotiAgent.exe"] = "1.0.1.4";
  pc.files[kFolder + "QORClient_CBW.exe"] = "1.0.1.4";
  const Events opening = Then(Opening("UTSetup Function call Start"), {"> GET " + kList});
  EXPECT_EQ(Run(kNotificationAgent), Result(1, "MSG_OK"));
  EXPECT_EQ(run, Then(opening, {"> Hold " + kFolder + "CBWNotiAgent.exe",
                                "> Start " + kFolder + "CBWNotiAgent.exe in " + kFolder + " (held)", "Function call End"}));

  // A newer package: asked to download instead, and declining starts nothing.
  SetEntry("QOREUTProg", "1.0.1.5", "http://dl/QOREUTProg.CAB");
  pc.userAccepts = false;
  EXPECT_EQ(Run(kNotificationAgent), Result(1, ""));
  EXPECT_EQ(run, Then(opening, {"Check KSVC Site working", "> Probe probe", "Start download Tool", "> GET " + kList,
                                "> Protect " + kLauncherFolder, "> Protect " + kAgentFolder, "User Confirm window", "> Ask",
                                "Function call End"}));

  // No package entry at all: the server is taken as unreachable.
  SetEntry("QOREUTProg", "", "");
  EXPECT_EQ(Run(kNotificationAgent), Result(0, "MSG_SERVER_CONN_ERROR"));
  EXPECT_EQ(run, Then(opening, {"Fail to download setup file", "MSG_SERVER_CONN_ERROR"}));
}

TEST_F(AgentSetup, OutdatedRunningAgentIsEndedBeforeTheQuestion) {
  InstallFolders();
  pc.files[kFolder + "CBWNotiAgent.exe"] = "1.0.1.3";
  pc.processes["CBWNotiAgent.exe"] = 9;
  pc.userAccepts = false;
  EXPECT_EQ(Run(kNotificationAgent), Result(1, ""));
  ASSERT_GE(run.size(), 8u);
  EXPECT_EQ(Events(run.begin() + 6, run.begin() + 8), (Events{"> End 9 CBWNotiAgent.exe", "Check KSVC Site working"}));
  EXPECT_TRUE(pc.processes.empty());
  EXPECT_TRUE(pc.registry.empty());
}

TEST_F(AgentSetup, AcceptedPackageIsStartedAndRegistered) {
  pc.package = {{"CBWNotiAgent.exe", "1.0.1.4"}, {"QORClient_CBW.exe", "1.0.1.4"}, {"QORLauncher.exe", "1.0.0.1"}};
  EXPECT_EQ(Run(kNotificationAgent), Result(1, "MSG_OK"));
  const std::string agent = kFolder + "CBWNotiAgent.exe";
  // Folders that are not there yet are left to the installation, which makes them.
  // No agent installed: its published version is another one, so whatever runs under its name ends.
  EXPECT_EQ(run, (Events{kStars, "UTSetup Function call Start", "> ReadSignaturePolicy", "> GET " + kList,
                         "> End 0 CBWNotiAgent.exe", "Check KSVC Site working", "> Probe probe", "Start download Tool",
                         "> GET " + kList, "> Protect " + kLauncherFolder, "> Protect " + kAgentFolder, "User Confirm window",
                         "> Ask", "Download start",
                         "> Download http://dl/QOREUTProg.CAB -> " + kFolder + "QOREUTProg.CAB into " + kFolder,
                         "Download complete.", "> Copy " + kFolder + "QORLauncher.exe -> " + kLauncherFolder + "\\QORLauncher.exe",
                         "> Hold " + agent, "> Start " + agent + " in " + kFolder + " (held)",
                         "> Registry " + kRunKey + " QOR_AGENT=\"" + agent + "\"", "> Registry " + kMakerKey + " AutoStart=1",
                         "MSG_OK", "Function call End"}));
}

TEST_F(AgentSetup, AssistantPackageUsesTheAlternativeTextsAndCopiesNoLauncher) {
  pc.package = {{"CBWUAAgent.exe", "1.0.1.4"}};
  EXPECT_EQ(Run(kAssistantAgent), Result(1, "MSG_OK"));
  const std::string agent = kFolder + "CBWUAAgent.exe";
  EXPECT_EQ(Events(run.begin() + 11, run.end()),
            (Events{"User Confirm window", "> Ask (alternative texts)", "Download start",
                    "> Download http://dl/NotiAgent_QOR_UA.cab -> " + kFolder + "NotiAgent_QOR_UA.cab into " + kFolder +
                        " (alternative texts)",
                    "Download complete.", "> Hold " + agent, "> Start " + agent + " in " + kFolder + " (held)",
                    "> Registry " + kRunKey + " QORUA_AGENT=\"" + agent + "\"", "> Registry " + kMakerKey + " UAAutoStart=1",
                    "MSG_OK", "Function call End"}));
}

TEST_F(AgentSetup, DownloadThatIsCancelledOrNotInstalledStartsAndRegistersNothing) {
  pc.downloadShown = DownloadShown::kCancelled;
  EXPECT_EQ(Run(kAssistantAgent), Result(1, "MSG_DOWNLOAD_FAIL"));
  EXPECT_EQ(Tail(3), (Events{"fail to download file", "MSG_DOWNLOAD_FAIL", "Function call End"}));
  pc.downloadShown = DownloadShown::kNotInstalled;
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_DOWNLOAD_FAIL"));
  EXPECT_EQ(Tail(2), (Events{"fail to download file", "MSG_DOWNLOAD_FAIL"}));
  EXPECT_TRUE(pc.registry.empty());
}

TEST_F(AgentSetup, PackageWithoutTheAgentIsRegisteredWithNothingStarted) {
  pc.package = {{"data\\readme.txt", ""}};
  EXPECT_EQ(Run(kAssistantAgent), Result(1, "MSG_OK"));
  for (const std::string& line : run) EXPECT_EQ(line.rfind("> Start", 0), std::string::npos) << line;
  EXPECT_EQ(pc.registry.count(kRunKey + "\\QORUA_AGENT"), 1u);
}

TEST_F(AgentSetup, UnreachableServerAndUnsafePackageAddressesAskNothing) {
  pc.reachable = false;
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_SERVER_CONN_ERROR"));
  EXPECT_EQ(Tail(3), (Events{"Check KSVC Site working", "> Probe probe", "MSG_SERVER_CONN_ERROR"}));
  pc.reachable = true;

  // Names that could leave the agent folder are a missing entry; so are addresses other than HTTP,
  // with the refusal traced.
  for (const std::string& address : {"http://dl/..\\..\\escape.cab", "http://dl/", "http://dl/C:escape.cab",
                                     "file:///C:/agents/NotiAgent_QOR_UA.cab", "ftp://dl/agents/NotiAgent_QOR_UA.cab"}) {
    SetEntry("NotiAgent_QOR_UA", "1.0.1.4", address);
    EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_SERVER_CONN_ERROR")) << address;
    Events expected{"Start download Tool", "> GET " + kList};
    if (address.compare(0, 4, "http") != 0) expected.push_back("Download refused, not an HTTP address: [" + address + "]");
    expected.insert(expected.end(), {"Fail to download setup file", "MSG_SERVER_CONN_ERROR"});
    EXPECT_EQ(Tail(expected.size()), expected) << address;
  }
  for (const std::string& line : pc.events) {
    EXPECT_EQ(line.rfind("> Ask", 0), std::string::npos);
    EXPECT_EQ(line.rfind("> Download", 0), std::string::npos);
  }
}

TEST_F(AgentSetup, AgentFoldersThatCannotBeTrustedFailBeforeAnythingIsAsked) {
  // The agents' folder is a link: refused before the list is read.
  pc.links.insert(kAgentFolder);
  pc.folders.insert(kLauncherFolder);
  EXPECT_EQ(Run(kNotificationAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(run, (Events{kStars, "UTSetup Function call Start", "> Protect " + kLauncherFolder,
                         "Agent folder refused: " + kAgentFolder, "MSG_FUNCTION_FAIL"}));

  // A folder the protection refuses.
  pc.links.clear();
  pc.unprotectableFolders.insert(kLauncherFolder);
  EXPECT_EQ(Run(kNotificationAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(Tail(2), (Events{"> Protect " + kLauncherFolder, "MSG_FUNCTION_FAIL"}));

  // A root that is not a full path.
  pc.root = "ProgramData\\";
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(run, (Events{kStars, "UASetup Function call Start", "Agent root folder is not a full path: [ProgramData\\]",
                         "MSG_FUNCTION_FAIL"}));
}

TEST_F(AgentSetup, RegistrationThatFailsFailsTheInstallation) {
  pc.package = {{"CBWUAAgent.exe", "1.0.1.3"}};  // still not the published version once installed
  pc.refusedKeys.insert(kRunKey);
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(Tail(3), (Events{"> Registry " + kRunKey + " refused",
                             "Registry write failed: [" + kRunKey + "] cannot be opened or created, error 5", "MSG_FUNCTION_FAIL"}));

  pc.refusedKeys.clear();
  pc.refusedValues.insert(kMakerKey + "\\UAAutoStart");
  EXPECT_EQ(Run(kAssistantAgent), Result(0, "MSG_FUNCTION_FAIL"));
  EXPECT_EQ(Tail(2), (Events{"Registry write failed: [" + kMakerKey + "] UAAutoStart, error 5", "MSG_FUNCTION_FAIL"}));
  EXPECT_EQ(pc.registry.count(kRunKey + "\\QORUA_AGENT"), 1u);  // what was written before it stays
}

TEST(AgentUpdate, NeededOnlyForAPublishedOtherVersion) {
  ScriptedLibraryPc pc;
  pc.files[kFolder + "CBWNotiAgent.exe"] = "1.0.1.4";
  const auto needed = [&pc](const char* image) {
    return IsAgentUpdateNeeded(pc, kService, kFolder, image, "name='NotiAgent_QOR'");
  };
  EXPECT_FALSE(needed("CBWNotiAgent.exe"));  // no list
  pc.server[kList] = "<list>" + Entry("NotiAgent_QOR", "1.0.1.4", "http://dl/a.cab");
  EXPECT_FALSE(needed("CBWNotiAgent.exe"));
  pc.server[kList] = "<list>" + Entry("NotiAgent_QOR", "1.0.1.5", "http://dl/a.cab");
  EXPECT_TRUE(needed("CBWNotiAgent.exe"));
  EXPECT_TRUE(needed("missing.exe"));
}

TEST(UpdateLaunch, RequestIsWrittenBeforeTheHeldLauncherStartsAndNothingStartsWithoutIt) {
  ScriptedLibraryPc pc;
  Recorded record;
  const auto launch = [&pc, &record] {
    const size_t from = pc.events.size();
    const int started = LaunchPhoneUpdateTool(pc);
    record.run = pc.EventsFrom(from);
    return started;
  };
  const std::string launcher = kLauncherFolder + "\\QORLauncher.exe";
  const Events opening{std::string(56, '*'), "Phone software update tool - Call START",
                       "> Registry " + kMakerKey + " SYNCUPDATE=TRUE", "> Registry " + kMakerKey + " SYNCTYPE=PXPC",
                       "> Protect " + kLauncherFolder, "Check QOR Launcher"};
  EXPECT_EQ(launch(), 0);
  EXPECT_EQ(record.run, Then(opening, {"QOR tool Not exist."}));

  pc.files[launcher] = "1.0.0.1";
  EXPECT_EQ(launch(), 1);
  EXPECT_EQ(record.run, Then(opening, {"> ReadSignaturePolicy", "> Hold " + launcher, "Call Launcher",
                                       "> Start " + launcher + " in " + kLauncherFolder + " (held)",
                                       "Phone software update tool - Call END"}));

  // No request written, a launcher the maker did not sign, or one that does not start.
  const size_t failuresFrom = pc.events.size();
  pc.refusedValues.insert(kMakerKey + "\\SYNCTYPE");
  EXPECT_EQ(launch(), 0);
  EXPECT_EQ(record.Tail(1), Events{"Registry write failed: [" + kMakerKey + "] SYNCTYPE, error 5"});
  pc.refusedValues.clear();

  pc.policy.publisher = L"Demo Maker Ltd";
  pc.unsignedFiles.insert(launcher);
  EXPECT_EQ(launch(), 0);
  EXPECT_EQ(record.Tail(1), Events{"[SIGNATURE] [" + launcher + "] refused"});

  pc.unsignedFiles.clear();
  pc.startErrors[launcher] = 193;
  EXPECT_EQ(launch(), 0);
  EXPECT_EQ(record.Tail(1), Events{"Agent start failed: " + launcher + ", error 193"});
  for (const std::string& line : pc.EventsFrom(failuresFrom)) EXPECT_NE(line, "Phone software update tool - Call END");
}

}  // namespace
