// The test driver packages under Wine: the stand-in driver files carry their version, the setup
// programs and the MSI packages install each family's files into the Program Files folder that a
// program of this build sees (CSIDL_PROGRAM_FILES), and the MSI packages remove them again.
// Lives in driver-packages/, beside the packages.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win/handles.h"
#include "tests/win/test_files.h"
#include "tools/driver_packages/driver_families.h"

namespace {

using qv::test::OwnFolder;
using qv::test::ReadAll;

const DWORD kNotRun = 0xFFFFFFFF;

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = L"";
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

std::wstring FamilyFolder(const qv::DriverFamily& family, int csidl = CSIDL_PROGRAM_FILES) {
  return ShellFolder(csidl) + L"\\QV Electronics\\" + family.folder;
}

const qv::DriverFamily& Family(const std::wstring& name) {
  for (const qv::DriverFamily& family : qv::kDriverFamilies) {
    if (name == family.name) return family;
  }
  ADD_FAILURE() << "no family";
  return qv::kDriverFamilies[0];
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The fixed file version as "a.b.c.d", or "none".
std::wstring FixedVersion(const std::wstring& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return L"none";
  std::vector<char> buffer(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, buffer.data()) ||
      !VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length != sizeof *fixed) {
    return L"none";
  }
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
         L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

// Every file of the family in its folder, as "name=version" lines ("name=missing" for absent ones).
std::wstring InstalledFiles(const qv::DriverFamily& family, int csidl = CSIDL_PROGRAM_FILES) {
  std::wstring report;
  for (std::size_t i = 0; i < family.fileCount; ++i) {
    const std::wstring path = FamilyFolder(family, csidl) + L"\\" + family.files[i];
    report += std::wstring(family.files[i]) + L"=" + (Exists(path) ? FixedVersion(path) : L"missing") + L"\n";
  }
  return report;
}

std::wstring AllFilesAt(const qv::DriverFamily& family, const std::wstring& state) {
  std::wstring report;
  for (std::size_t i = 0; i < family.fileCount; ++i) report += std::wstring(family.files[i]) + L"=" + state + L"\n";
  return report;
}

void RemoveFamilyFolder(const qv::DriverFamily& family) {
  const std::wstring folder = FamilyFolder(family);
  for (std::size_t i = 0; i < family.fileCount; ++i) DeleteFileW((folder + L"\\" + family.files[i]).c_str());
  RemoveDirectoryW(folder.c_str());
}

// Starts a program the way the bootstrap starts installers (shell "open") and waits for it.
DWORD RunShell(const std::wstring& file, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info) || info.hProcess == nullptr) return kNotRun;
  qv::UniqueHandle process(info.hProcess);
  DWORD code = kNotRun;
  if (WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
  return code;
}

DWORD Msiexec(const wchar_t* option, const std::wstring& package) {
  return RunShell(L"msiexec.exe", std::wstring(option) + L" \"" + OwnFolder() + package + L"\" /qn");
}

TEST(DriverFile, CarriesItsConfiguredFixedVersionAlsoUnderADriverName) {
  EXPECT_EQ(FixedVersion(OwnFolder() + L"files\\driver-" + qv::kDriverVersion + L".sys"), qv::kDriverVersion);
  const std::wstring old = OwnFolder() + L"files\\driver-" + qv::kDriverOldVersion + L".sys";
  EXPECT_EQ(FixedVersion(old), qv::kDriverOldVersion);
  EXPECT_NE(std::wstring(qv::kDriverVersion), qv::kDriverOldVersion);

  wchar_t temp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  const std::wstring renamed = std::wstring(temp) + L"qvusbdiag.sys";
  ASSERT_TRUE(CopyFileW(old.c_str(), renamed.c_str(), FALSE));
  EXPECT_EQ(FixedVersion(renamed), qv::kDriverOldVersion);
  DeleteFileW(renamed.c_str());
}

class DriverSetup : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    m_log = std::wstring(temp) + L"driver_setup_runs.log";
    DeleteFileW(m_log.c_str());
    SetEnvironmentVariableW(L"QV_DRIVER_SETUP_LOG", m_log.c_str());
    RemoveFamilyFolder(m_family);
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"QV_DRIVER_SETUP_LOG", nullptr);
    DeleteFileW(m_log.c_str());
    RemoveFamilyFolder(m_family);
  }

  const qv::DriverFamily& m_family = Family(L"unison");
  std::wstring m_log;
};

TEST_F(DriverSetup, InstallsEveryFileOfItsFamilyIntoProgramFilesWhenStartedWithoutParameters) {
  EXPECT_EQ(RunShell(OwnFolder() + L"driver_setup.exe", L""), 0u);
  EXPECT_EQ(InstalledFiles(m_family), AllFilesAt(m_family, qv::kDriverVersion));
  EXPECT_EQ(ReadAll(m_log), "\r\n");  // one start, no arguments
}

TEST_F(DriverSetup, ReplacesAnOlderInstalledFile) {
  ASSERT_EQ(RunShell(OwnFolder() + L"driver_setup.exe", L""), 0u);
  const std::wstring diag = FamilyFolder(m_family) + L"\\qvusbdiag.sys";
  const std::wstring old = OwnFolder() + L"files\\driver-" + qv::kDriverOldVersion + L".sys";
  ASSERT_TRUE(CopyFileW(old.c_str(), diag.c_str(), FALSE));
  ASSERT_EQ(FixedVersion(diag), qv::kDriverOldVersion);

  EXPECT_EQ(RunShell(OwnFolder() + L"driver_setup.exe", L""), 0u);
  EXPECT_EQ(FixedVersion(diag), qv::kDriverVersion);
  EXPECT_EQ(ReadAll(m_log), "\r\n\r\n");
}

TEST_F(DriverSetup, FailingVariantInstallsNothingAndReportsFailure) {
  EXPECT_EQ(RunShell(OwnFolder() + L"driver_setup_fail.exe", L""), 1603u);
  EXPECT_FALSE(Exists(FamilyFolder(m_family)));
  EXPECT_EQ(ReadAll(m_log), "\r\n");
}

// Each MSI test first removes its product, as the bootstrap does before installing.
TEST(DriverMsi, EachFamilyInstallsIntoItsFolderUnderThisBuildsProgramFilesAndUninstalls) {
  const bool otherFolderExists = ShellFolder(CSIDL_PROGRAM_FILESX86) != ShellFolder(CSIDL_PROGRAM_FILES);
  for (const qv::DriverFamily& family : qv::kDriverFamilies) {
    SCOPED_TRACE(testing::Message() << "family " << family.name);
    const std::wstring package = std::wstring(family.name) + L"_driver.msi";
    Msiexec(L"/x", package);
    RemoveFamilyFolder(family);

    Msiexec(L"/i", package);
    EXPECT_EQ(InstalledFiles(family), AllFilesAt(family, qv::kDriverVersion));
    if (otherFolderExists) {
      EXPECT_EQ(InstalledFiles(family, CSIDL_PROGRAM_FILESX86), AllFilesAt(family, L"missing"));
    }

    Msiexec(L"/x", package);
    EXPECT_EQ(InstalledFiles(family), AllFilesAt(family, L"missing"));
  }
}

class DriverMsiUpgrade : public testing::Test {
 protected:
  void SetUp() override {
    Msiexec(L"/x", L"unison_driver.msi");
    Msiexec(L"/x", L"unison_driver_old.msi");
    RemoveFamilyFolder(m_family);
    Msiexec(L"/i", L"unison_driver_old.msi");
    ASSERT_EQ(InstalledFiles(m_family), AllFilesAt(m_family, qv::kDriverOldVersion));
  }
  void TearDown() override {
    // Nothing of the outdated product may be left registered to keep the files.
    Msiexec(L"/x", L"unison_driver.msi");
    EXPECT_EQ(InstalledFiles(m_family), AllFilesAt(m_family, L"missing"));
  }

  const qv::DriverFamily& m_family = Family(L"unison");
};

// A package of another version is a product of its own that replaces any installed version of
// its family.
TEST_F(DriverMsiUpgrade, InstallingOverAnOutdatedPackageReplacesIt) {
  Msiexec(L"/i", L"unison_driver.msi");
  EXPECT_EQ(InstalledFiles(m_family), AllFilesAt(m_family, qv::kDriverVersion));
}

// The bootstrap's order: remove with the new package, then install it. (Wine's removal with a
// package that is not installed already removes the related outdated product; Windows refuses it.
// Either way the installation leaves only the new version.)
TEST_F(DriverMsiUpgrade, RemoveThenInstallWithTheNewPackageLeavesTheNewVersion) {
  Msiexec(L"/x", L"unison_driver.msi");
  Msiexec(L"/i", L"unison_driver.msi");
  EXPECT_EQ(InstalledFiles(m_family), AllFilesAt(m_family, qv::kDriverVersion));
}

}  // namespace
