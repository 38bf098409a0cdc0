// Which owners and DACLs leave an agent folder or file to administrators alone, what happens to a
// folder or file that fails, and the trace lines of securing a folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "updateclient/core/folder_security.h"

using namespace qv::updateclient;

namespace {

const char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
const char kEveryoneSid[] = "S-1-1-0";
const char kAuthenticatedUsersSid[] = "S-1-5-11";
const char kCreatorOwnerSid[] = "S-1-3-0";

constexpr uint8_t kBoth = ace_flags::kObjectInherit | ace_flags::kContainerInherit;
constexpr uint32_t kReadExecute = access::kFileGenericRead | access::kFileGenericExecute;

AccessEntry Allow(const std::string& who, uint32_t mask, uint8_t flags = kBoth) {
  return AccessEntry{AceKind::kAllow, who, mask, flags};
}

// What the library sets: owner Administrators, protected, SYSTEM and Administrators full
// control, Users read and execute.
SecurityDescription Protected() {
  SecurityDescription d;
  d.owner = kAdministratorsSid;
  d.hasDacl = true;
  d.daclProtected = true;
  d.entries = {Allow(kSystemSid, access::kFileAllAccess), Allow(kAdministratorsSid, access::kFileAllAccess),
               Allow(kUsersSid, kReadExecute)};
  return d;
}

// A folder an elevated program made under the common data folder: everything inherited,
// including the users' right to add files and folders (on folders only) and the creator's full
// control of what it makes.
SecurityDescription InheritedFromCommonData() {
  const uint8_t inherited = ace_flags::kInherited;
  SecurityDescription d;
  d.owner = kAdministratorsSid;
  d.hasDacl = true;
  d.entries = {
      Allow(kSystemSid, access::kFileAllAccess, kBoth | inherited),
      Allow(kAdministratorsSid, access::kFileAllAccess, kBoth | inherited),
      Allow(kCreatorOwnerSid, access::kGenericAll, kBoth | ace_flags::kInheritOnly | inherited),
      Allow(kUsersSid, kReadExecute, kBoth | inherited),
      Allow(kUsersSid,
            access::kWriteData | access::kAppendData | access::kWriteEa | access::kWriteAttributes,
            ace_flags::kContainerInherit | inherited),
  };
  return d;
}

SecurityDescription Changed(void (*change)(SecurityDescription&)) {
  SecurityDescription d = Protected();
  change(d);
  return d;
}

SecurityDescription WithEntry(AccessEntry entry) {
  SecurityDescription d = Protected();
  d.entries.push_back(entry);
  return d;
}

SecurityDescription OwnedBy(const std::string& owner) {
  SecurityDescription d = Protected();
  d.owner = owner;
  return d;
}

TEST(AgentFolderVerdict, FolderInheritedFromCommonDataIsEmptiedAndTakenBack) {
  const SecurityDescription d = InheritedFromCommonData();
  EXPECT_EQ(JudgeAgentFolder(d), FolderVerdict::kEmpty);
  // Without the creator's entry the users' create right is what fails it.
  SecurityDescription usersOnly = d;
  usersOnly.entries.erase(usersOnly.entries.begin() + 2);
  EXPECT_EQ(JudgeAgentFolder(usersOnly), FolderVerdict::kEmpty);
  EXPECT_EQ(WhyNotAdministratorsOnly(usersOnly, ObjectKind::kFolder), "S-1-5-32-545 may write (0x00000116)");
}

// Owners, DACLs and single rights: the verdicts on a folder and a file, the judgement they follow
// from, and where given the reason against (for a folder unless the row says a file). The rights
// the folder security's fuzz target does not try are here.
TEST(AgentFolderVerdict, OwnersDaclsAndRightsGiveTheirVerdictsAndReasons) {
  struct Case {
    std::string what;
    SecurityDescription d;
    FolderVerdict folder;
    FileVerdict file;
    std::optional<std::string> why = std::nullopt;
    ObjectKind whyOf = ObjectKind::kFolder;
  };
  const FolderVerdict keep = FolderVerdict::kKeep, empty = FolderVerdict::kEmpty;
  const FileVerdict use = FileVerdict::kUse, refuse = FileVerdict::kRefuse;
  std::vector<Case> cases = {
      {"protected", Protected(), keep, use, ""},
      {"owned by SYSTEM", OwnedBy(kSystemSid), keep, use},
      {"unprotected", Changed([](SecurityDescription& d) { d.daclProtected = false; }), FolderVerdict::kTakeBack, use},
      {"owned by a user", OwnedBy(kUserSid), empty, refuse,
       std::string("owner ") + kUserSid + " is neither SYSTEM nor the Administrators", ObjectKind::kFile},
      {"no DACL", Changed([](SecurityDescription& d) { d.hasDacl = false, d.entries.clear(); }), empty, refuse,
       "no DACL: everyone has full access"},
      {"an empty DACL", Changed([](SecurityDescription& d) { d.entries.clear(); }), keep, use},
      {"modify for Authenticated Users", WithEntry(Allow(kAuthenticatedUsersSid, 0x001301BF)), empty, refuse},
      {"generic write for Everyone", WithEntry(Allow(kEveryoneSid, access::kGenericWrite)), empty, refuse,
       "S-1-1-0 may write (0x40000000)", ObjectKind::kFile},
      // What a folder passes on fails it for what is created there, and a file not at all.
      {"inherit-only write", WithEntry(Allow(kUsersSid, access::kGenericAll, kBoth | ace_flags::kInheritOnly)), empty, use,
       "S-1-5-32-545 may write (0x10000000) in what is created there"},
      // An entry of another kind passes only when it could grant no write.
      {"another kind, reading", WithEntry(AccessEntry{AceKind::kOther, "", kReadExecute, 0}), keep, use},
  };
  for (const char* owner : {kUsersSid, kEveryoneSid, "", "S-1-5-32-5440", "S-1-5-32-54"}) {
    cases.push_back({std::string("owned by ") + owner, OwnedBy(owner), empty, refuse});
  }
  for (uint32_t mask : {access::kWriteEa, access::kWriteAttributes, access::kFileAllAccess}) {
    cases.push_back({"write right " + std::to_string(mask) + " for Users", WithEntry(Allow(kUsersSid, mask)), empty, refuse});
  }
  for (uint32_t mask : {0x00000001u /* read data */, access::kReadEa, access::kExecute, 0x00000080u /* attributes */,
                        0x00020000u /* read control */, 0x00100000u /* synchronize */, 0x80000000u /* generic read */,
                        0x20000000u /* generic execute */, kReadExecute}) {
    cases.push_back({"read right " + std::to_string(mask) + " for a user", WithEntry(Allow(kUserSid, mask)), keep, use});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JudgeAgentFolder(c.d), c.folder);
    EXPECT_EQ(JudgeAgentFile(c.d), c.file);
    EXPECT_EQ(IsAdministratorsOnly(c.d, ObjectKind::kFolder), c.folder != empty);
    EXPECT_EQ(IsAdministratorsOnly(c.d, ObjectKind::kFile), c.file == use);
    if (c.why) EXPECT_EQ(WhyNotAdministratorsOnly(c.d, c.whyOf), *c.why);
  }
}

// Wine's made-up descriptor: owned by its one user, never protected, everyone's rights from the
// Unix "other" bits. That user is trusted there; anyone else's write right still fails.
TEST(OwnerTrust, WinesOneUserIsTrustedWithoutProtectionButWriteForOthersStillFails) {
  const char kWineUser[] = "S-1-5-21-0-0-0-1000";
  const OwnerTrust wine{kWineUser, false};
  SecurityDescription made;
  made.owner = kWineUser;
  made.hasDacl = true;
  made.entries = {Allow(kSystemSid, access::kFileAllAccess), Allow(kWineUser, access::kFileAllAccess),
                  Allow(kEveryoneSid, kReadExecute)};
  EXPECT_EQ(JudgeAgentFolder(made, wine), FolderVerdict::kKeep);
  EXPECT_EQ(JudgeAgentFile(made, wine), FileVerdict::kUse);
  // The same descriptor on Windows: an ordinary user's, unprotected.
  EXPECT_EQ(JudgeAgentFolder(made), FolderVerdict::kEmpty);
  EXPECT_EQ(JudgeAgentFile(made), FileVerdict::kRefuse);

  SecurityDescription open = made;
  open.entries.back() = Allow(kEveryoneSid, access::kFileAllAccess);
  EXPECT_EQ(JudgeAgentFolder(open, wine), FolderVerdict::kEmpty);
  EXPECT_EQ(JudgeAgentFile(open, wine), FileVerdict::kRefuse);
  SecurityDescription stranger = made;
  stranger.owner = kUserSid;
  EXPECT_EQ(JudgeAgentFile(stranger, wine), FileVerdict::kRefuse);
  // Protection is asked for again as soon as it is kept.
  EXPECT_EQ(JudgeAgentFolder(made, OwnerTrust{kWineUser, true}), FolderVerdict::kTakeBack);
}

TEST(FolderEntryVerdict, AnUnreadableEntryIsRemovedAndALinkIsNeverEnteredWhateverItsDescriptorSays) {
  EXPECT_EQ(JudgeFolderEntry(false, SecurityDescription(), ObjectKind::kFile), EntryVerdict::kRemove);
  EXPECT_EQ(JudgeFolderEntry(true, Protected(), ObjectKind::kFolder), EntryVerdict::kLeaveLink);
  EXPECT_EQ(JudgeFolderEntry(true, SecurityDescription(), ObjectKind::kFolder), EntryVerdict::kLeaveLink);
  EXPECT_EQ(JudgeFolderEntry(true, SecurityDescription(), ObjectKind::kFile), EntryVerdict::kLeaveLink);
}

TEST(FolderOutcomeTrace, NamesTakenBackEmptiedAndRefusedFoldersAndRemovedEntries) {
  const std::string path = "C:\\ProgramData\\QVMOBILEAX\\QOR_Client";
  EXPECT_EQ(FolderOutcomeTrace(FolderOutcome::kTakenBack, path), "Agent folder taken back: " + path);
  EXPECT_EQ(FolderOutcomeTrace(FolderOutcome::kEmptied, path), "Agent folder emptied and taken back: " + path);
  EXPECT_EQ(RemovedEntryTrace(path + "\\x.dll", "S-1-1-0 may write (0x00000002)"),
            "Agent folder entry removed, S-1-1-0 may write (0x00000002): " + path + "\\x.dll");
  EXPECT_EQ(FolderOutcomeTrace(FolderOutcome::kRefused, path), "Agent folder refused: " + path);
  EXPECT_EQ(FolderOutcomeTrace(FolderOutcome::kCreated, path), "");
  EXPECT_EQ(FolderOutcomeTrace(FolderOutcome::kKept, path), "");
}

}  // namespace
