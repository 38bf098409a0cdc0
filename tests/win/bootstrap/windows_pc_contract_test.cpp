// The PC contract on the Windows adapter that the program runs on, under Wine, in a fresh folder
// of the user's profile (so that a held folder is held from the profile down).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "bootstrap/provisioning/windows_pc.h"
#include "common/core/signature_policy.h"
#include "common/win/handles.h"
#include "tests/native/bootstrap/pc_contract.h"
#include "tests/win/test_files.h"

namespace qv::bootstrap::testing {
namespace {

std::wstring ProfileFolder() {
  wchar_t folder[MAX_PATH] = {};
  return ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROFILE, FALSE) ? folder : L"";
}

class WindowsPlace : public PcContractPlace {
 public:
  WindowsPlace() : m_root(ProfileFolder() + L"\\pc-contract-" + std::to_wstring(::GetCurrentProcessId())) {
    ::CreateDirectoryW(m_root.c_str(), nullptr);
  }
  ~WindowsPlace() override { qv::test::RemoveTree(m_root); }
  PcSystem& Pc() override { return m_pc; }
  std::wstring Root() override { return m_root; }
  void MakeFolder(const std::wstring& path) override { ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)); }
  void MakeFile(const std::wstring& path, const std::string& text) override { ASSERT_TRUE(WriteAsAnother(path, text)); }
  bool WriteAsAnother(const std::wstring& path, const std::string& text) override {
    qv::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  void MakeSecondName(const std::wstring& path, const std::wstring& secondName) override {
    ASSERT_TRUE(::CreateHardLinkW(secondName.c_str(), path.c_str(), nullptr)) << ::GetLastError();
  }
  // The system's command interpreter, told to end with a code of its own.
  std::wstring Program() override {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\cmd.exe";
  }
  std::wstring ProgramArguments() override { return L"/c exit 7"; }
  uint32_t ProgramExitCode() override { return 7; }

 private:
  qv::SignaturePolicy m_policy;
  CWindowsPc m_pc{nullptr, m_policy};
  std::wstring m_root;
};

// Each part of the contract on a place of its own.
TEST(WindowsPcContract, HeldFoldersAndFilesFileResultsStartsAndLinksKeepTheContract) {
  ASSERT_FALSE(ProfileFolder().empty());
  const struct {
    const char* part;
    void (*expect)(PcContractPlace&);
  } parts[] = {{"a held folder stays while files come and go in it", ExpectTheHeldFolderContract},
               {"a failed file call tells the system's error", ExpectTheFileResultContract},
               {"a start reports what happened", ExpectTheStartContract},
               {"a held file refuses every change and counts as a copy of its own bytes", ExpectTheHeldFileContract},
               {"a file with a second name is a link", ExpectTheLinkContract}};
  for (const auto& p : parts) {
    SCOPED_TRACE(p.part);
    WindowsPlace place;
    p.expect(place);
  }
}

// What only the real system shows: a held folder cannot be renamed by anyone, and a folder on the
// way to it cannot be either.
TEST(WindowsPcContract, NeitherAHeldFolderNorOneAboveItCanBeRenamed) {
  WindowsPlace place;
  const std::wstring upper = place.Root() + L"\\upper", folder = upper + L"\\held";
  ASSERT_TRUE(::CreateDirectoryW(upper.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  {
    unsigned error = 0;
    const std::unique_ptr<FolderHold> held = place.Pc().HoldFolder(folder, error);
    ASSERT_NE(held, nullptr) << error;
    EXPECT_FALSE(::MoveFileExW(folder.c_str(), (upper + L"\\moved").c_str(), 0));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::MoveFileExW(upper.c_str(), (place.Root() + L"\\moved").c_str(), 0));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_TRUE(::MoveFileExW(folder.c_str(), (upper + L"\\moved").c_str(), 0));
}

}  // namespace
}  // namespace qv::bootstrap::testing
