// The live-update entry extraction, the installed version text, the cabinet's name, the agent
// root and the Run value.
#include <gtest/gtest.h>

#include <string>

#include "common/core/code_content.h"
#include "updateclient/core/agent_rules.h"

using namespace qv::updateclient;

namespace {

const std::string kList =
    "<live_update>\n"
    "<item name='NotiAgent_QOR' version='1.0.1.4' url='http://h:9002/a/QOREUTProg.CAB' />\n"
    "<item name='NotiAgent_QOR_UA' version='2.0' url='http://h:9002/a/ua.cab' />\n"
    "<item name='QOREUTProg' version='1.0.1.5' url='http://h:9002/a/ut.cab' />\n"
    "</live_update>";

TEST(LiveUpdateEntry, WellFormedEntriesGiveVersionAndAddress) {
  LiveUpdateEntry ut = FindLiveUpdateEntry(kList, "name='NotiAgent_QOR'");
  EXPECT_TRUE(ut.found);
  EXPECT_EQ(ut.version, "1.0.1.4");
  EXPECT_EQ(ut.address, "http://h:9002/a/QOREUTProg.CAB");
  // The longer marker is its own entry, not the shorter one's tail.
  LiveUpdateEntry ua = FindLiveUpdateEntry(kList, "name='NotiAgent_QOR_UA'");
  EXPECT_EQ(ua.version, "2.0");
  EXPECT_EQ(ua.address, "http://h:9002/a/ua.cab");
  LiveUpdateEntry prog = FindLiveUpdateEntry(kList, kNotificationAgent.downloadMarker);
  EXPECT_EQ(prog.version, "1.0.1.5");
  EXPECT_EQ(prog.address, "http://h:9002/a/ut.cab");
}

TEST(LiveUpdateEntry, MarkerMissingOrAtTheVeryStartIsNotFound) {
  EXPECT_FALSE(FindLiveUpdateEntry(kList, "name='Other'").found);
  EXPECT_FALSE(FindLiveUpdateEntry("", "name='QOREUTProg'").found);
  LiveUpdateEntry atZero = FindLiveUpdateEntry("name='QOREUTProg' version='1' url='http://x/y.cab' />", "name='QOREUTProg'");
  EXPECT_FALSE(atZero.found);
  EXPECT_TRUE(atZero.version.empty() && atZero.address.empty());
  LiveUpdateEntry atOne = FindLiveUpdateEntry(" name='QOREUTProg' version='1' url='http://x/y.cab' />", "name='QOREUTProg'");
  EXPECT_TRUE(atOne.found);
  EXPECT_EQ(atOne.address, "http://x/y.cab");
}

TEST(LiveUpdateEntry, MalformedEntriesGiveEmptyTextNeverGarbage) {
  struct Case {
    const char* list;
    const char* version;
    const char* address;
  } cases[] = {
      {"<a name='QOREUTProg' version='1.2' url='http://x/y.cab'", "", ""},  // no "/>" at all
      {"<a name='QOREUTProg'/> version='1.2' url='http://x/y.cab' />", "", ""},  // "/>" at once
      {"<a name='QOREUTProg' version='1.2 />", "", ""},                      // quote cut short
      {"<a name='QOREUTProg' url='http://x/y.cab' />", "", "http://x/y.cab"},   // no version
      {"<a name='QOREUTProg' version='7' />", "", ""},                       // no address
      {"<a name='QOREUTProg' version='7' url= />", "7", ""},                 // address too short
      {"<a name='QOREUTProg' ' url=version='9' />", "", "ersion='9"},        // url before version
      {"<a name='QOREUTProg' version='3' url='' />", "3", ""},               // empty address
  };
  for (const Case& c : cases) {
    LiveUpdateEntry entry = FindLiveUpdateEntry(c.list, "name='QOREUTProg'");
    EXPECT_TRUE(entry.found) << c.list;
    EXPECT_EQ(entry.version, c.version) << c.list;
    EXPECT_EQ(entry.address, c.address) << c.list;
  }
}

TEST(LiveUpdateEntry, VeryLongEntryIsTakenWhole) {
  std::string address = "http://x/" + std::string(100000, 'a') + ".cab";
  LiveUpdateEntry entry =
      FindLiveUpdateEntry("<l><a name='QOREUTProg' version='1' url='" + address + "' /></l>", "name='QOREUTProg'");
  EXPECT_EQ(entry.address, address);
  EXPECT_EQ(entry.version, "1");
}

TEST(AgentRules, VersionTextDropsBlanksAndTurnsCommasIntoDots) {
  EXPECT_EQ(NormalizeVersionText("1, 0, 1, 4"), "1.0.1.4");
}

TEST(AgentRules, FolderJoinAndCabinetName) {
  EXPECT_EQ(JoinFolderAndName("C:\\a", "b"), "C:\\a\\b");
  EXPECT_EQ(JoinFolderAndName("C:\\a\\", "b"), "C:\\a\\b");
  EXPECT_TRUE(HasCabinetName("x.cAb"));
  EXPECT_TRUE(HasCabinetName("cab"));  // the last three characters only, as the name is checked
  EXPECT_FALSE(HasCabinetName("x.cab.exe"));
  EXPECT_FALSE(HasCabinetName("ab"));
}

TEST(AgentRules, AVariantThatComparesTheClientsVersionNamesTheClient) {
  for (const AgentVariant* variant : {&kNotificationAgent, &kAssistantAgent}) {
    EXPECT_TRUE(!variant->checkPackageVersion || (variant->clientImage && *variant->clientImage)) << variant->startTrace;
  }
}

TEST(AgentRules, WhatTheLibraryStartsIsCodeByItsNameAloneSoItIsCheckedWhateverItHolds) {
  // The agents and the launcher are started by name: the signature check must not depend on
  // their first bytes, which a damaged or hostile package may change.
  for (const AgentVariant* variant : {&kNotificationAgent, &kAssistantAgent}) {
    EXPECT_TRUE(qv::IsCodeFileName(std::string(variant->agentImage))) << variant->agentImage;
    if (variant->clientImage) EXPECT_TRUE(qv::IsCodeFileName(std::string(variant->clientImage)));
  }
  EXPECT_TRUE(qv::IsCodeFileName(std::string(kLauncherImage)));
  // A package named like a cabinet is unpacked, and is code itself.
  EXPECT_TRUE(HasCabinetName("QOREUTProg.CAB") && qv::IsCodeFileName(std::string("QOREUTProg.CAB")));
}

TEST(AgentRoot, OnlyAFullFolderPathIsARootAndTheRunValueIsQuoted) {
  for (const char* full : {"C:\\ProgramData\\", "d:\\x", "\\\\server\\share\\"}) EXPECT_TRUE(IsFullFolderPath(full)) << full;
  for (const char* partial : {"", "ProgramData\\", "C:ProgramData", "\\ProgramData", "C:", "1:\\x", "\\\\.\\C:\\",
                              "\\\\?\\C:\\", "\\\\server", "\\\\\\x"}) {
    EXPECT_FALSE(IsFullFolderPath(partial)) << partial;
  }
  EXPECT_EQ(QuotedRunValue("C:\\Program Data\\QVMOBILEAX\\QOR_Client\\CBWNotiAgent.exe"),
            "\"C:\\Program Data\\QVMOBILEAX\\QOR_Client\\CBWNotiAgent.exe\"");
}

}  // namespace
