// Runs under Wine: agent folders made with, or taken back to, the protected descriptor as the
// system stores it, and the admin-only check of files, read back through the security API. The
// trace lines are caught as the debug-output exceptions OutputDebugStringA raises. Where the file
// system does not keep owners and DACLs as set (Wine 8 turns a DACL into Unix mode bits and reads
// back a descriptor made from them), or a folder link cannot be made, the cases that need
// them are skipped with what was read; what Wine does show (write rights for everyone) is tested
// there instead.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updateclient/win/protected_folder.h"

using namespace qv::updateclient;

namespace {

const char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr DWORD kBoth = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

std::string Describe(const SecurityDescription& d) {
  char line[96];
  std::string text = "owner " + d.owner + (d.hasDacl ? "" : ", no DACL") + (d.daclProtected ? ", protected" : "");
  for (const AccessEntry& e : d.entries) {
    snprintf(line, sizeof(line), "\n  %s %s mask 0x%08lX flags 0x%02X",
             e.kind == AceKind::kAllow ? "allow" : e.kind == AceKind::kDeny ? "deny" : "other", e.trustee.c_str(),
             static_cast<unsigned long>(e.mask), e.flags);
    text += line;
  }
  return text;
}

// Exactly what the library sets on an agent folder.
void ExpectProtectedDescriptor(const std::string& path) {
  const SecurityDescription d = ReadSecurityDescription(path);
  SCOPED_TRACE(Describe(d));
  EXPECT_EQ(d.owner, kAdministratorsSid);
  EXPECT_TRUE(d.hasDacl);
  EXPECT_TRUE(d.daclProtected);
  ASSERT_EQ(d.entries.size(), 3u);
  const struct {
    const char* trustee;
    uint32_t mask;
  } expected[] = {{kSystemSid, FILE_ALL_ACCESS},
                  {kAdministratorsSid, FILE_ALL_ACCESS},
                  {kUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(d.entries[i].kind, AceKind::kAllow);
    EXPECT_EQ(d.entries[i].trustee, expected[i].trustee);
    EXPECT_EQ(d.entries[i].mask, expected[i].mask);
    EXPECT_EQ(d.entries[i].flags, kBoth);
  }
}

struct SidBuffer {
  std::vector<BYTE> bytes;
  PSID get() { return bytes.data(); }
};

SidBuffer SidFromText(const char* text) {
  PSID sid = nullptr;
  SidBuffer buffer;
  if (ConvertStringSidToSidA(text, &sid)) {
    buffer.bytes.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    LocalFree(sid);
  }
  return buffer;
}

// Gives |path| the owner |owner| and a DACL (not protected) of SYSTEM and Administrators full
// control plus |usersMask| for |trustee| (Users unless named) with |usersFlags|: what another user
// could leave behind.
DWORD Plant(const std::string& path, const char* owner, DWORD usersMask, DWORD usersFlags,
            const char* trustee = kUsersSid) {
  SidBuffer ownerSid = SidFromText(owner), system = SidFromText(kSystemSid),
            administrators = SidFromText(kAdministratorsSid), users = SidFromText(trustee);
  std::vector<BYTE> acl(1024);
  PACL dacl = reinterpret_cast<PACL>(acl.data());
  if (ownerSid.bytes.empty() || !InitializeAcl(dacl, static_cast<DWORD>(acl.size()), ACL_REVISION) ||
      !AddAccessAllowedAceEx(dacl, ACL_REVISION, kBoth, FILE_ALL_ACCESS, system.get()) ||
      !AddAccessAllowedAceEx(dacl, ACL_REVISION, kBoth, FILE_ALL_ACCESS, administrators.get()) ||
      !AddAccessAllowedAceEx(dacl, ACL_REVISION, usersFlags, usersMask, users.get())) {
    return GetLastError();
  }
  return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                   UNPROTECTED_DACL_SECURITY_INFORMATION,
                               ownerSid.get(), nullptr, dacl, nullptr);
}

// The debug output of this thread while it lives.
class CTraceCatcher {
 public:
  CTraceCatcher() {
    s_lines = &m_lines;
    m_handler = AddVectoredExceptionHandler(1, Catch);
  }
  ~CTraceCatcher() {
    RemoveVectoredExceptionHandler(m_handler);
    s_lines = nullptr;
  }
  const std::vector<std::string>& Lines() const { return m_lines; }

 private:
  static LONG CALLBACK Catch(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 && s_lines) {
      const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
      const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
      std::string line(text, length);
      while (!line.empty() && line.back() == '\0') line.pop_back();
      s_lines->push_back(line);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static std::vector<std::string>* s_lines;
  std::vector<std::string> m_lines;
  PVOID m_handler = nullptr;
};
std::vector<std::string>* CTraceCatcher::s_lines = nullptr;


// Empty when this system keeps a folder's owner and DACL protection as they were set; else what
// it read back for a folder made with owner Administrators and a protected DACL.
std::string DescriptorsNotKept(const std::string& base) {
  const std::string folder = base + "-probe";
  PSECURITY_DESCRIPTOR wanted = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                            SDDL_REVISION_1, &wanted, nullptr)) {
    return "no descriptor could be built (error " + std::to_string(GetLastError()) + ")";
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), wanted, FALSE};
  const bool created = CreateDirectoryA(folder.c_str(), &attributes) != FALSE;
  LocalFree(wanted);
  if (!created) return "no probe folder could be made (error " + std::to_string(GetLastError()) + ")";
  PSECURITY_DESCRIPTOR read = nullptr;
  const DWORD what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  std::string text = "nothing";
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &read) ==
      ERROR_SUCCESS) {
    char* sddl = nullptr;
    DWORD revision = 0;
    GetSecurityDescriptorControl(read, &control, &revision);
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(read, SDDL_REVISION_1, what, &sddl, nullptr)) {
      text = sddl;
      LocalFree(sddl);
    }
    LocalFree(read);
  }
  RemoveDirectoryA(folder.c_str());
  if (text.compare(0, 4, "O:BA") == 0 && (control & SE_DACL_PROTECTED)) return std::string();
  return "owners and DACLs are not kept here: a folder made as O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA) "
         "reads back as " + text;
}

class ProtectedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = "";
    ASSERT_NE(GetTempPathA(sizeof(temp), temp), 0u);
    m_base = std::string(temp) + "qv-protected-" + std::to_string(GetCurrentProcessId()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryA(m_base.c_str(), nullptr)) << GetLastError();
    m_notKept = DescriptorsNotKept(m_base);
  }
  void TearDown() override { RemoveTree(m_base); }

  static void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = path + "\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          RemoveTree(child);
        } else if (!DeleteFileA(child.c_str())) {
          RemoveDirectoryA(child.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
  }

  std::string m_base;
  std::string m_notKept;  // why the cases that read descriptors back cannot run here
};

#define SKIP_UNLESS_DESCRIPTORS_KEPT() \
  if (!m_notKept.empty()) GTEST_SKIP() << m_notKept

bool MakeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, "MZ", 2, &written, nullptr) && written == 2;
  CloseHandle(file);
  return ok;
}

TEST_F(ProtectedFolder, NewFolderIsCreatedWithTheProtectedDescriptorAndThenKept) {
  SKIP_UNLESS_DESCRIPTORS_KEPT();
  const std::string folder = m_base + "\\QVMOBILEAX";
  EXPECT_EQ(SecureAgentFolder(folder), FolderOutcome::kCreated);
  ExpectProtectedDescriptor(folder);
  EXPECT_EQ(SecureAgentFolder(folder), FolderOutcome::kKept);
  // The inner agent folder below it, through the traced entry: nothing to say when all is well.
  CTraceCatcher trace;
  EXPECT_TRUE(EnsureProtectedFolder(folder + "\\QOR_Client"));
  ExpectProtectedDescriptor(folder + "\\QOR_Client");
  EXPECT_TRUE(trace.Lines().empty()) << trace.Lines().front();
}

TEST_F(ProtectedFolder, FolderPlantedByAUserIsTakenBackAndTraced) {
  SKIP_UNLESS_DESCRIPTORS_KEPT();
  const std::string folder = m_base + "\\QVMOBILEAX";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_EQ(Plant(folder, kUserSid, FILE_GENERIC_WRITE, kBoth), static_cast<DWORD>(ERROR_SUCCESS));
  const SecurityDescription planted = ReadSecurityDescription(folder);
  ASSERT_EQ(planted.owner, kUserSid) << Describe(planted);
  ASSERT_EQ(JudgeAgentFolder(planted), FolderVerdict::kTakeBack) << Describe(planted);

  CTraceCatcher trace;
  EXPECT_TRUE(EnsureProtectedFolder(folder));
  ExpectProtectedDescriptor(folder);
  ASSERT_EQ(trace.Lines().size(), 1u);
  EXPECT_EQ(trace.Lines()[0], "[KSVC_UT]   Agent folder taken back: " + folder);
}

TEST_F(ProtectedFolder, FolderInheritingTheUsersCreateRightIsTakenBack) {
  SKIP_UNLESS_DESCRIPTORS_KEPT();
  // As under the common data folder: owner the Administrators, users may add files and folders.
  const std::string folder = m_base + "\\QVMOBILEAX";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_EQ(Plant(folder, kAdministratorsSid, FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, CONTAINER_INHERIT_ACE),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(SecureAgentFolder(folder), FolderOutcome::kTakenBack);
  ExpectProtectedDescriptor(folder);
  EXPECT_EQ(SecureAgentFolder(folder), FolderOutcome::kKept);
}

// Where owners and DACLs are not kept (Wine turns a DACL into Unix mode bits and reads back a
// descriptor of its one user made from them), what can still be seen is whether anyone else may
// write: a folder open to everyone is taken back, a file open to everyone is refused.
bool AnyoneElseMayWrite(const SecurityDescription& d) {
  for (const AccessEntry& e : d.entries) {
    if (e.kind == AceKind::kAllow && e.trustee == "S-1-1-0" && (e.mask & access::kAnyWrite)) return true;
  }
  return false;
}

TEST_F(ProtectedFolder, WhereDescriptorsAreNotKeptWriteRightsForEveryoneAreStillTakenBackOrRefused) {
  if (m_notKept.empty()) GTEST_SKIP() << "owners and DACLs are kept here: the cases above hold";
  const std::string folder = m_base + "\\QVMOBILEAX";
  CTraceCatcher trace;
  EXPECT_EQ(SecureAgentFolder(folder), FolderOutcome::kCreated);
  EXPECT_FALSE(AnyoneElseMayWrite(ReadSecurityDescription(folder)));
  EXPECT_EQ(SecureAgentFolder(folder), FolderOutcome::kKept);

  const std::string owner = ReadSecurityDescription(folder).owner;
  ASSERT_EQ(Plant(folder, owner.c_str(), GENERIC_ALL, kBoth, "S-1-1-0"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(AnyoneElseMayWrite(ReadSecurityDescription(folder))) << Describe(ReadSecurityDescription(folder));
  EXPECT_TRUE(EnsureProtectedFolder(folder));
  EXPECT_FALSE(AnyoneElseMayWrite(ReadSecurityDescription(folder))) << Describe(ReadSecurityDescription(folder));
  EXPECT_EQ(trace.Lines(), std::vector<std::string>{"[KSVC_UT]   Agent folder taken back: " + folder});

  const std::string agent = folder + "\\agent.exe", open = folder + "\\open.exe";
  ASSERT_TRUE(MakeFile(agent));
  ASSERT_TRUE(MakeFile(open));
  ASSERT_EQ(Plant(open, owner.c_str(), FILE_GENERIC_WRITE, 0, "S-1-1-0"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(IsAdministratorsOnlyFile(agent)) << Describe(ReadSecurityDescription(agent));
  EXPECT_FALSE(IsAdministratorsOnlyFile(open)) << Describe(ReadSecurityDescription(open));
}

TEST_F(ProtectedFolder, WhatIsNotAPlainFolderIsRefusedAndTraced) {
  const std::string file = m_base + "\\QVMOBILEAX";
  ASSERT_TRUE(MakeFile(file));
  CTraceCatcher trace;
  EXPECT_FALSE(EnsureProtectedFolder(file));
  ASSERT_EQ(trace.Lines().size(), 1u);
  EXPECT_EQ(trace.Lines()[0], "[KSVC_UT]   Agent folder refused: " + file);
  // A missing parent: nothing is made along the way.
  EXPECT_EQ(SecureAgentFolder(m_base + "\\missing\\QOR_Client"), FolderOutcome::kRefused);
  EXPECT_EQ(GetFileAttributesA((m_base + "\\missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ProtectedFolder, LinkToAFolderIsRefusedAndItsTargetLeftAlone) {
  const std::string target = m_base + "\\elsewhere";
  const std::string link = m_base + "\\QVMOBILEAX";
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
  if (!CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    GTEST_SKIP() << "no folder link can be made here (error " << GetLastError() << ")";
  }
  const DWORD linkAttributes = GetFileAttributesA(link.c_str());
  if (linkAttributes == INVALID_FILE_ATTRIBUTES || !(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "the folder link reported as made does not read as one (attributes 0x" << std::hex
                 << linkAttributes << std::dec << ", error " << GetLastError() << ")";
  }
  // Everyone may write there: taking it back would show even where only Unix mode bits are kept.
  ASSERT_EQ(Plant(target, kAdministratorsSid, GENERIC_ALL, kBoth, "S-1-1-0"), static_cast<DWORD>(ERROR_SUCCESS));
  const SecurityDescription before = ReadSecurityDescription(target);
  EXPECT_EQ(SecureAgentFolder(link), FolderOutcome::kRefused);
  const SecurityDescription after = ReadSecurityDescription(target);
  EXPECT_EQ(Describe(after), Describe(before));
}

TEST_F(ProtectedFolder, FilesAreUsedOnlyWhenAdministratorsAloneCanChangeThem) {
  SKIP_UNLESS_DESCRIPTORS_KEPT();
  const std::string folder = m_base + "\\QOR_Client";
  ASSERT_EQ(SecureAgentFolder(folder), FolderOutcome::kCreated);
  const std::string inside = folder + "\\agent.exe";
  ASSERT_TRUE(MakeFile(inside));
  EXPECT_TRUE(IsAdministratorsOnlyFile(inside)) << Describe(ReadSecurityDescription(inside));

  const std::string writable = folder + "\\writable.exe";
  ASSERT_TRUE(MakeFile(writable));
  ASSERT_EQ(Plant(writable, kAdministratorsSid, FILE_WRITE_DATA, 0), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(IsAdministratorsOnlyFile(writable)) << Describe(ReadSecurityDescription(writable));

  const std::string planted = folder + "\\planted.exe";
  ASSERT_TRUE(MakeFile(planted));
  ASSERT_EQ(Plant(planted, kUserSid, FILE_GENERIC_READ, 0), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(IsAdministratorsOnlyFile(planted)) << Describe(ReadSecurityDescription(planted));

  EXPECT_FALSE(IsAdministratorsOnlyFile(folder + "\\missing.exe"));
  EXPECT_FALSE(IsAdministratorsOnlyFile(folder));  // a folder is no program
}

}  // namespace
