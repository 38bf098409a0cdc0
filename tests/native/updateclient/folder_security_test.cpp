// Which owners and DACLs leave an agent folder or file to administrators alone, what happens to a
// folder or file that fails, and the trace lines of securing a folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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

SecurityDescription WithEntry(AccessEntry entry) {
  SecurityDescription d = Protected();
  d.entries.push_back(entry);
  return d;
}

void ExpectNeitherFolderNorFile(const SecurityDescription& d) {
  EXPECT_FALSE(IsAdministratorsOnly(d, ObjectKind::kFolder));
  EXPECT_FALSE(IsAdministratorsOnly(d, ObjectKind::kFile));
  EXPECT_EQ(JudgeAgentFolder(d), FolderVerdict::kEmpty);
  EXPECT_EQ(JudgeAgentFile(d), FileVerdict::kRefuse);
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

TEST(AgentFolderVerdict, ProtectedDescriptorIsKeptAndItsFilesUsedAndUnprotectedItIsTakenBack) {
  SecurityDescription d = Protected();
  EXPECT_EQ(WhyNotAdministratorsOnly(d, ObjectKind::kFolder), "");
  EXPECT_EQ(JudgeAgentFolder(d), FolderVerdict::kKeep);
  EXPECT_EQ(JudgeAgentFile(d), FileVerdict::kUse);
  d.owner = kSystemSid;
  EXPECT_EQ(JudgeAgentFolder(d), FolderVerdict::kKeep);
  d.daclProtected = false;
  EXPECT_EQ(JudgeAgentFolder(d), FolderVerdict::kTakeBack);
  EXPECT_EQ(JudgeAgentFile(d), FileVerdict::kUse);
}

TEST(AgentFolderVerdict, OwnerOtherThanSystemOrAdministratorsFails) {
  for (const char* owner : {kUserSid, kUsersSid, kEveryoneSid, "", "S-1-5-32-5440", "S-1-5-32-54"}) {
    SCOPED_TRACE(owner);
    SecurityDescription d = Protected();
    d.owner = owner;
    ExpectNeitherFolderNorFile(d);
  }
  SecurityDescription user = Protected();
  user.owner = kUserSid;
  EXPECT_EQ(WhyNotAdministratorsOnly(user, ObjectKind::kFile),
            std::string("owner ") + kUserSid + " is neither SYSTEM nor the Administrators");
}

TEST(AgentFolderVerdict, NullDaclFailsAndEmptyDaclPasses) {
  SecurityDescription none = Protected();
  none.hasDacl = false;
  none.entries.clear();
  EXPECT_EQ(WhyNotAdministratorsOnly(none, ObjectKind::kFolder), "no DACL: everyone has full access");
  SecurityDescription empty = Protected();
  empty.entries.clear();
  EXPECT_EQ(JudgeAgentFolder(empty), FolderVerdict::kKeep);
}

// The rights the folder security's fuzz target does not try.
TEST(AccessRights, EveryWriteTypeRightToUsersFails) {
  for (uint32_t mask : {access::kWriteEa, access::kWriteAttributes, access::kFileAllAccess}) {
    SCOPED_TRACE(mask);
    ExpectNeitherFolderNorFile(WithEntry(Allow(kUsersSid, mask)));
  }
}

TEST(AccessRights, ReadAndExecuteRightsPass) {
  const uint32_t reads[] = {0x00000001 /* read data */, access::kReadEa, access::kExecute, 0x00000080 /* attributes */,
                            0x00020000 /* read control */, 0x00100000 /* synchronize */, 0x80000000 /* generic read */,
                            0x20000000 /* generic execute */, kReadExecute};
  for (uint32_t mask : reads) {
    SCOPED_TRACE(mask);
    const SecurityDescription d = WithEntry(Allow(kUserSid, mask));
    EXPECT_EQ(JudgeAgentFolder(d), FolderVerdict::kKeep);
    EXPECT_EQ(JudgeAgentFile(d), FileVerdict::kUse);
  }
}

TEST(AccessRights, WriteForEveryoneOrAuthenticatedUsersFails) {
  ExpectNeitherFolderNorFile(WithEntry(Allow(kAuthenticatedUsersSid, 0x001301BF /* modify */)));
  EXPECT_EQ(WhyNotAdministratorsOnly(WithEntry(Allow(kEveryoneSid, access::kGenericWrite)), ObjectKind::kFile),
            "S-1-1-0 may write (0x40000000)");
}

TEST(AccessRights, InheritOnlyWriteFailsAFolderForWhatIsCreatedThere) {
  const SecurityDescription d = WithEntry(Allow(kUsersSid, access::kGenericAll, kBoth | ace_flags::kInheritOnly));
  EXPECT_EQ(WhyNotAdministratorsOnly(d, ObjectKind::kFolder), "S-1-5-32-545 may write (0x10000000) in what is created there");
}

TEST(AccessRights, EntryOfAnotherKindPassesOnlyWhenItCouldGrantNoWrite) {
  EXPECT_EQ(JudgeAgentFolder(WithEntry(AccessEntry{AceKind::kOther, "", kReadExecute, 0})), FolderVerdict::kKeep);
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
