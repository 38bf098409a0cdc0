// Runs under Wine: the program's routines over files, INI files, the registry, version resources
// and the user's token, against Wine's real implementations.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/provisioning/file_version_info.h"
#include "bootstrap/provisioning/registry_mgr.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/user_rights.h"
#include "bootstrap/provisioning/trace_log.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"
#include "tests/win/test_files.h"

namespace {

using qv::test::ReadAll;
using qv::test::WriteAll;

std::wstring ScratchFolder() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"qv_support_test\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// The trace log's file side, turned on into a folder of its own while it lives.
class CTraceRecorder {
 public:
  CTraceRecorder() : m_strFolder(ScratchFolder() + L"trace\\"), m_strLog(m_strFolder + L"PX_Bootstrap_Log(0000).txt") {
    ::CreateDirectoryW(m_strFolder.c_str(), nullptr);
    ::DeleteFileW(m_strLog.c_str());
    CTraceLogFile::Shared().Start(true, false, m_strFolder);
  }
  ~CTraceRecorder() {
    CTraceLogFile::Shared().Stop();
    ::DeleteFileW(m_strLog.c_str());
  }
  // What was traced since the last call; empty when nothing was.
  std::string Take() {
    const std::string text = ReadAll(m_strLog);
    ::DeleteFileW(m_strLog.c_str());
    return text == "<missing>" ? "" : text;
  }

 private:
  std::wstring m_strFolder, m_strLog;
};

TEST(BootstrapSupport, IniValuesAreCutAt259CharactersAndMissingOnesAreEmpty) {
  std::wstring ini = ScratchFolder() + L"config.ini";
  WriteAll(ini, "[FILES]\r\nfilecount=3abc\r\nlong=" + std::string(300, 'x') + "\r\n");
  EXPECT_EQ(GetIniString(ini, L"files", L"FILECOUNT"), L"3abc");  // names in any letter case
  EXPECT_EQ(GetIniString(ini, L"FILES", L"long"), std::wstring(259, L'x'));
  EXPECT_EQ(GetIniString(ini, L"FILES", L"file01"), L"");
  EXPECT_EQ(GetIniString(ini + L".missing", L"FILES", L"filecount"), L"");
}

TEST(BootstrapSupport, KeysAreLookedUpUnderTheRootTheirNumberNames) {
  CRegistryMgr registry(L"");
  HKEY created = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QvSupportTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(created);
  EXPECT_TRUE(registry.IsExistKey(2, L"Software\\QvSupportTest"));
  EXPECT_FALSE(registry.IsExistKey(2, L"Software\\QvSupportTest\\Missing"));
  EXPECT_FALSE(registry.IsExistKey(4, L"Software"));  // no such root
  EXPECT_TRUE(registry.IsExistKey(3, L"SYSTEM\\CurrentControlSet\\Control"));  // the machine's, not the user's
  EXPECT_FALSE(registry.IsExistKey(2, L"SYSTEM\\CurrentControlSet\\Control"));
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QvSupportTest");
}

TEST(BootstrapSupport, VersionsOfBuiltBinaries) {
  std::wstring program = qv::test::OwnFolder() + L"PX_Bootstrap.exe";
  EXPECT_EQ(GetFileVersionString(program), L"1.0.7.0");
  std::wstring text = ScratchFolder() + L"plain.sys";
  WriteAll(text, "no version here");
  EXPECT_EQ(GetFileVersionString(text), L"0.0.0.0");

  CFileVersionInfo info;
  ASSERT_TRUE(info.Create(program));
  EXPECT_EQ(info.GetFileVersion(3), 1);  // the halves, most significant first
  EXPECT_EQ(info.GetFileVersion(1), 7);
  EXPECT_EQ(info.GetProductVersion(1), 1);  // 1.0.1.0
  EXPECT_EQ(info.GetFileDescription(), L"PX_Bootstrap MFC Application");
  EXPECT_EQ(info.GetFileVersion(), L"1, 0, 7, 0");
  CFileVersionInfo copy = info;
  EXPECT_EQ(copy.GetProductName(), L"PX_Bootstrap Application");
  EXPECT_FALSE(info.Create(text));  // no version information: reset
  EXPECT_EQ(info.GetFileVersion(3), 0);
  EXPECT_EQ(info.GetFileDescription(), L"");
}

TEST(BootstrapSupport, ExistenceNeedsAnExclusiveReadAndCopiesOverwrite) {
  CTraceRecorder trace;
  std::wstring folder = ScratchFolder();
  std::wstring source = folder + L"source.bin", target = folder + L"target.bin";
  WriteAll(source, "new");
  WriteAll(target, "old");
  EXPECT_FALSE(IsExistFile(folder));  // a folder is not a file
  {
    HANDLE open = ::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(IsExistFile(source));  // held open elsewhere
    ::CloseHandle(open);
  }
  EXPECT_TRUE(IsExistFile(source));

  ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(CopyFileOverwrite(source, target));  // read-only target replaced
  EXPECT_EQ(ReadAll(target), "new");

  // A target that cannot be replaced counts only when it already holds the source's bytes; a
  // failed copy leaves the copy's own error, and the file routines trace nothing themselves.
  for (const char* held : {"new", "old"}) {
    WriteAll(target, held);
    HANDLE open = ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    trace.Take();
    const bool same = std::string(held) == "new";
    EXPECT_EQ(CopyFileOverwrite(source, target), same ? TRUE : FALSE) << held;
    if (!same) {
      EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << held;
    }
    ::CloseHandle(open);
    EXPECT_EQ(ReadAll(target), held);
    EXPECT_EQ(trace.Take(), "") << held;
  }

  // A source the phone lacks is a failed copy, and the target stays.
  EXPECT_FALSE(CopyFileOverwrite(folder + L"missing.bin", target));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ReadAll(target), "old");
}

// A file with a second name (a hard link) counts as a link under either name: the program neither
// writes, clears nor deletes it. Each step is judged on the object itself, and an open file knows
// the path it is reached at. Which names are free of links is the PC contract's link part.
TEST(BootstrapSupport, SecondNamesAreLinksThatAreNeitherWrittenNorDeleted) {
  const std::wstring folder = ScratchFolder() + L"links";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring first = folder + L"\\first.txt", second = folder + L"\\second.txt", lone = folder + L"\\lone.txt";
  WriteAll(first, "the user's");
  ::DeleteFileW(second.c_str());
  ASSERT_TRUE(::CreateHardLinkW(second.c_str(), first.c_str(), nullptr));
  WriteAll(lone, "ours");

  EXPECT_EQ(qv::InspectPathStep(first), qv::PathStep::Link);
  EXPECT_EQ(qv::InspectPathStep(second), qv::PathStep::Link);
  EXPECT_EQ(qv::InspectPathStep(lone), qv::PathStep::Plain);
  EXPECT_EQ(qv::InspectPathStep(folder), qv::PathStep::Plain);  // a folder's own link count is no matter
  EXPECT_EQ(qv::InspectPathStep(folder + L"\\absent.txt"), qv::PathStep::Missing);

  ::SetFileAttributesW(second.c_str(), FILE_ATTRIBUTE_READONLY);
  DeleteFileEvenReadOnly(second);
  EXPECT_EQ(ReadAll(first), "the user's");
  EXPECT_NE(::GetFileAttributesW(second.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "its attributes were cleared";
  ::SetFileAttributesW(lone.c_str(), FILE_ATTRIBUTE_READONLY);
  DeleteFileEvenReadOnly(lone);
  EXPECT_EQ(::GetFileAttributesW(lone.c_str()), INVALID_FILE_ATTRIBUTES);

  WriteAll(lone, "ours");
  {
    qv::UniqueFileHandle open(::CreateFileW(lone.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(open);
    EXPECT_TRUE(qv::IsReachedAt(open.get(), lone));
    EXPECT_TRUE(qv::IsReachedAt(open.get(), folder + L"\\LONE.txt"));
    EXPECT_FALSE(qv::IsReachedAt(open.get(), first));
    EXPECT_FALSE(qv::IsReachedAt(open.get(), folder + L"\\absent\\lone.txt"));
    EXPECT_TRUE(qv::DeleteOpenFile(open.get()));
  }
  EXPECT_EQ(::GetFileAttributesW(lone.c_str()), INVALID_FILE_ATTRIBUTES);
  ::SetFileAttributesW(second.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(second.c_str());
  ::DeleteFileW(first.c_str());
}

TEST(BootstrapSupport, WineUserIsAnAdministrator) {
  EXPECT_TRUE(IsUserInGroup(DOMAIN_ALIAS_RID_ADMINS));
  EXPECT_FALSE(IsUserInGroup(DOMAIN_ALIAS_RID_GUESTS));
}

}  // namespace
