// Test driver setup program. Run without parameters, it installs the driver files of its family
// into Program Files\QV Electronics\<family folder> as a vendor's driver setup would: each file is
// a copy of the stand-in driver file that it carries as a resource. The variant built with
// QV_SETUP_FAILS installs nothing and ends with an installer failure code. Every run records its
// arguments in the file named by QV_DRIVER_SETUP_LOG, or in driver_setup.log beside itself.
#include <windows.h>
#include <shlobj.h>

#include <iterator>
#include <string>

#include "common/win/handles.h"
#include "tools/driver_packages/driver_families.h"
#include "tools/stub_pc_tool/invocation_log.h"

#ifndef QV_SETUP_FAMILY
#error "QV_SETUP_FAMILY (index into kDriverFamilies) must be defined"
#endif
#ifndef QV_SETUP_FAILS
#define QV_SETUP_FAILS 0
#endif

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitInstallFailure = 1603;  // the code Windows Installer gives a failed installation

const qv::DriverFamily& Family() {
  static_assert(QV_SETUP_FAMILY < std::size(qv::kDriverFamilies), "QV_SETUP_FAMILY out of range");
  return qv::kDriverFamilies[QV_SETUP_FAMILY];
}

bool CreateFolder(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The family's folder, created when missing; empty when it cannot be made.
std::wstring PrepareInstallFolder() {
  wchar_t programFiles[MAX_PATH] = L"";
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles))) return L"";
  const std::wstring vendor = std::wstring(programFiles) + L"\\QV Electronics";
  const std::wstring folder = vendor + L"\\" + Family().folder;
  if (!CreateFolder(vendor) || !CreateFolder(folder)) return L"";
  return folder;
}

bool WriteWholeFile(const std::wstring& path, const void* data, DWORD size) {
  qv::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), data, size, &written, nullptr) && written == size;
}

int Install() {
  HRSRC found = FindResourceW(nullptr, L"DRIVER_FILE", RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  if (data == nullptr || size == 0) return kExitInstallFailure;

  const std::wstring folder = PrepareInstallFolder();
  if (folder.empty()) return kExitInstallFailure;
  const qv::DriverFamily& family = Family();
  for (std::size_t i = 0; i < family.fileCount; ++i) {
    if (!WriteWholeFile(folder + L"\\" + family.files[i], data, size)) return kExitInstallFailure;
  }
  return kExitSuccess;
}

}  // namespace

// QV_DRIVER_SETUP_HOLD names a file: the setup waits until it exists (two minutes at most), as a
// real one takes its time, so that a test can look at the program's installation display for as
// long as it needs and then let the installation finish.
static void WaitIfAsked() {
  wchar_t release[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"QV_DRIVER_SETUP_HOLD", release, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  for (int waited = 0; waited < 120000 && GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES; waited += 50) {
    Sleep(50);
  }
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) try {
  qv::AppendInvocationLine(L"QV_DRIVER_SETUP_LOG", L"driver_setup.log");
  WaitIfAsked();
  if (QV_SETUP_FAILS) return kExitInstallFailure;
  return Install();
} catch (...) {
  return kExitInstallFailure;
}
