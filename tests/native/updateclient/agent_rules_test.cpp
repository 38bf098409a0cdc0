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
  // The longer marker is its own entry, not the shorter one's tail.
  const char* const cases[][3] = {{"name='NotiAgent_QOR'", "1.0.1.4", "http://h:9002/a/QOREUTProg.CAB"},
                                  {"name='NotiAgent_QOR_UA'", "2.0", "http://h:9002/a/ua.cab"},
                                  {kNotificationAgent.downloadMarker, "1.0.1.5", "http://h:9002/a/ut.cab"}};
  for (const auto& [marker, version, address] : cases) {
    const LiveUpdateEntry entry = FindLiveUpdateEntry(kList, marker);
    EXPECT_TRUE(entry.found) << marker;
    EXPECT_EQ(std::make_pair(entry.version, entry.address), std::make_pair(std::string(version), std::string(address)));
  }
  EXPECT_FALSE(FindLiveUpdateEntry(kList, "name='Other'").found);
}

// Only a marker after the list's first character counts; a malformed entry gives empty texts,
// never garbage.
TEST(LiveUpdateEntry, MarkerAtTheVeryStartIsNotFoundAndMalformedEntriesGiveEmptyText) {
  struct Case {
    const char* list;
    bool found;
    const char* version;
    const char* address;
  } cases[] = {
      {"", false, "", ""},
      {"name='QOREUTProg' version='1' url='http://x/y.cab' />", false, "", ""},  // at the very start
      {" name='QOREUTProg' version='1' url='http://x/y.cab' />", true, "1", "http://x/y.cab"},
      {"<a name='QOREUTProg' version='1.2' url='http://x/y.cab'", true, "", ""},  // no "/>" at all
      {"<a name='QOREUTProg'/> version='1.2' url='http://x/y.cab' />", true, "", ""},  // "/>" at once
      {"<a name='QOREUTProg' version='1.2 />", true, "", ""},                      // quote cut short
      {"<a name='QOREUTProg' url='http://x/y.cab' />", true, "", "http://x/y.cab"},   // no version
      {"<a name='QOREUTProg' version='7' />", true, "", ""},                       // no address
      {"<a name='QOREUTProg' version='7' url= />", true, "7", ""},                 // address too short
      {"<a name='QOREUTProg' ' url=version='9' />", true, "", "ersion='9"},        // url before version
      {"<a name='QOREUTProg' version='3' url='' />", true, "3", ""},               // empty address
  };
  for (const Case& c : cases) {
    const LiveUpdateEntry entry = FindLiveUpdateEntry(c.list, "name='QOREUTProg'");
    EXPECT_EQ(entry.found, c.found) << c.list;
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

TEST(AgentRules, VersionTextFolderJoinAndCabinetName) {
  EXPECT_EQ(NormalizeVersionText("1, 0, 1, 4"), "1.0.1.4");  // blanks dropped, commas made dots
  EXPECT_EQ(JoinFolderAndName("C:\\a", "b"), "C:\\a\\b");
  EXPECT_EQ(JoinFolderAndName("C:\\a\\", "b"), "C:\\a\\b");
  EXPECT_TRUE(HasCabinetName("x.cAb"));
  EXPECT_TRUE(HasCabinetName("cab"));  // the last three characters only, as the name is checked
  EXPECT_FALSE(HasCabinetName("x.cab.exe"));
  EXPECT_FALSE(HasCabinetName("ab"));
}

// The agents and the launcher are started by name: the signature check must not depend on their
// first bytes, which a damaged or hostile package may change. A variant that compares the
// client's version names the client.
TEST(AgentRules, WhatTheLibraryStartsIsCodeByItsNameAloneSoItIsCheckedWhateverItHolds) {
  for (const AgentVariant* variant : {&kNotificationAgent, &kAssistantAgent}) {
    EXPECT_TRUE(!variant->checkPackageVersion || (variant->clientImage && *variant->clientImage)) << variant->startTrace;
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
