// Runs under Wine: loads QVEUSBAutorun.dll by its plain name (the simulator variant beside this
// program) and the shipped build by path, and calls the exports through GetProcAddress by name,
// as the bootstrap program binds them. The simulated phone is configured through QV_PHONE_SIM.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/win/test_files.h"

namespace {

using DriveFn = int(__cdecl*)(char);
using DataFn = int(__cdecl*)(char, unsigned char, void*, unsigned long);

const char* const kDriveExports[] = {"ChangeMode2Modem", "ChangeMode2MTP", "ChangeMode2UMS",
                                     "ChangeMode2ASK", "ChangeMode2CGO", "ChangeMode2TET",
                                     "ChangeMode2UserSelection", "SetCDEnable", "SetCDDisable"};

class Library {
 public:
  explicit Library(const std::wstring& name) : m_module(LoadLibraryW(name.c_str())) {}
  ~Library() {
    if (m_module) FreeLibrary(m_module);
  }
  bool loaded() const { return m_module != nullptr; }
  DriveFn Drive(const char* name) const { return Export<DriveFn>(name); }
  DataFn Data() const { return Export<DataFn>("GetPhoneData"); }

 private:
  template <typename Fn>
  Fn Export(const char* name) const {
    using Generic = void (*)();  // the one function type a FARPROC converts from without warning
    return reinterpret_cast<Fn>(reinterpret_cast<Generic>(GetProcAddress(m_module, name)));
  }

  HMODULE m_module;
};

std::wstring VersionString(const std::wstring& file, const wchar_t* name) {
  std::vector<char> info(GetFileVersionInfoSizeW(file.c_str(), nullptr));
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  const bool found = !info.empty() && GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) &&
                     VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length);
  return found ? value : L"";
}

class SimulatedPhoneDll : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    m_folder = std::string(temp) + "qv_phone_sim_test\\";
    CreateDirectoryA(m_folder.c_str(), nullptr);
    m_ini = m_folder + "phone.ini";
    m_log = m_folder + "phone.log";
    DeleteFileA(m_log.c_str());
    SetEnvironmentVariableA("QV_PHONE_SIM", m_ini.c_str());
    ASSERT_TRUE(m_dll.loaded());
  }

  void Phone(const std::string& settings) {
    std::ofstream(m_ini) << "[phone]\nlog=" << m_log << "\n" << settings;
  }

  std::vector<std::string> LoggedBlocks() const {
    std::ifstream in(m_log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  Library m_dll{L"QVEUSBAutorun.dll"};
  std::string m_folder, m_ini, m_log;
};

TEST_F(SimulatedPhoneDll, EveryCommandReachesThePhoneAsItsBlock) {
  Phone("first_form=accept\nselected_mode=4\n");
  EXPECT_EQ(m_dll.Drive("ChangeMode2CGO")('E'), 1);
  unsigned char buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(m_dll.Data()('e', 0x10, buffer, 4), 1);
  EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 4), (std::vector<unsigned char>{4, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(m_dll.Drive("ChangeMode2UserSelection")('E'), 1);
  EXPECT_EQ(m_dll.Drive("SetCDEnable")('E'), 1);
  EXPECT_EQ(m_dll.Drive("SetCDDisable")('E'), 1);
  Phone("first_form=fail\nsecond_form_bytes=1\n");
  EXPECT_EQ(m_dll.Drive("ChangeMode2TET")('e'), 1);
  Phone("first_form=fail\nsecond_form_bytes=2\n");
  EXPECT_EQ(m_dll.Drive("ChangeMode2Modem")('E'), 0);
  EXPECT_EQ(LoggedBlocks(), (std::vector<std::string>{"F10108000000", "F10210000000", "1B0000000200",
                                                        "F10306000000", "F10307000000", "F10109000000",
                                                        "F10187000000", "F10101000000", "F10181000000"}));
}

// A drive the library cannot open: every export fails with the system's reason in the last error,
// and no command reaches the phone. A drive that is no CD-ROM drive is the shipped build's test
// below, on the prefix's real fixed disk.
TEST_F(SimulatedPhoneDll, AnUnopenableDriveFailsEveryExportAndKeepsTheSystemError) {
  unsigned char buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  Phone("open=denied\n");
  for (const char* name : kDriveExports) {
    SetLastError(0);
    EXPECT_EQ(m_dll.Drive(name)('E'), 0) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << name;
  }
  EXPECT_EQ(m_dll.Data()('E', 0x10, buffer, 1), 0);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_TRUE(LoggedBlocks().empty());
}

// The shipped build, with no phone behind any drive letter: every export must fail cleanly, as no
// CD-ROM drive (non-letters are refused before any drive is asked, natively proven). C: is the
// prefix's fixed disk, which Wine would open and pass a request to: the library asks the drive's
// type first and sends nothing there.
TEST(ShippedDll, ExportsEveryFunctionAndFailsWithoutAPhone) {
  const std::wstring path = qv::test::OwnFolder() + L"..\\bin\\QVEUSBAutorun.dll";
  Library dll(path);
  ASSERT_TRUE(dll.loaded());
  unsigned char buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  for (char letter : {'C', 'Q'}) {
    for (const char* name : kDriveExports) {
      ASSERT_NE(dll.Drive(name), nullptr) << name;
      SetLastError(0);
      EXPECT_EQ(dll.Drive(name)(letter), 0) << name << " " << letter;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DRIVE)) << name << " " << letter;
    }
    ASSERT_NE(dll.Data(), nullptr);
    EXPECT_EQ(dll.Data()(letter, 0x10, buffer, 1), 0) << letter;
  }
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(VersionString(path, L"FileVersion"), L"1, 0, 0, 7");
  EXPECT_EQ(VersionString(path, L"ProductVersion"), L"1, 0, 0, 7");
  EXPECT_EQ(VersionString(path, L"FileDescription"), L"QVE Usb Autorun");
}

}  // namespace
