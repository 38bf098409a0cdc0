// The stub PC tool under Wine: started under another name, with the command lines that the shell
// and CreateProcess build, it records exactly the arguments, as UTF-8, one line per start.
// Lives beside stub_pc_tool.exe.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win/handles.h"
#include "tests/win/test_files.h"

namespace {

using qv::test::OwnFolder;
using qv::test::ReadAll;

DWORD WaitForExit(HANDLE process) {
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  return code;
}

// A scratch folder with a blank in its name, holding a copy of the stub named PXPC.exe.
class StubPcTool : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"stub tool " + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    m_tool = m_folder + L"PXPC.exe";
    ASSERT_TRUE(CopyFileW((OwnFolder() + L"stub_pc_tool.exe").c_str(), m_tool.c_str(), FALSE)) << GetLastError();
    m_log = m_folder + L"runs.log";
    DeleteFileW(m_log.c_str());
    SetEnvironmentVariableW(L"QV_STUB_LOG", m_log.c_str());
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"QV_STUB_LOG", nullptr);
    for (const wchar_t* name : {L"PXPC.exe", L"runs.log", L"stub_pc_tool.log"}) DeleteFileW((m_folder + name).c_str());
    RemoveDirectoryW(m_folder.c_str());
  }

  // Starts the copy with exactly this command line; returns its exit code.
  DWORD Run(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(m_tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
      return 0xFFFFFFFF;
    }
    qv::UniqueHandle process(info.hProcess), thread(info.hThread);
    return WaitForExit(process.get());
  }

  std::wstring Quoted() const { return L"\"" + m_tool + L"\""; }

  std::wstring m_folder, m_tool, m_log;
};

TEST_F(StubPcTool, RecordsTheArgumentsAfterAQuotedProgramPathWithBlanks) {
  EXPECT_EQ(Run(Quoted() + L" -pxpc;E;X;Demo;"), 0u);
  EXPECT_EQ(ReadAll(m_log), "-pxpc;E;X;Demo;\r\n");
}

TEST_F(StubPcTool, RecordsTheArgumentsAfterAnUnquotedProgramName) {
  EXPECT_EQ(Run(L"PXPC.exe \t -pxpc;E;;Demo;"), 0u);
  EXPECT_EQ(ReadAll(m_log), "-pxpc;E;;Demo;\r\n");
}

TEST_F(StubPcTool, KeepsBlanksQuotesAndNonAsciiTextInsideTheArgumentsAsUtf8) {
  EXPECT_EQ(Run(Quoted() + L" -pxpc;E;X;D\u00e9mo \u2713 \"Phone\";  "), 0u);
  EXPECT_EQ(ReadAll(m_log), "-pxpc;E;X;D\xc3\xa9mo \xe2\x9c\x93 \"Phone\";  \r\n");
}

TEST_F(StubPcTool, RecordsAnEmptyLineWhenStartedWithoutArguments) {
  EXPECT_EQ(Run(Quoted()), 0u);
  EXPECT_EQ(ReadAll(m_log), "\r\n");
}

TEST_F(StubPcTool, AppendsOneLinePerStart) {
  EXPECT_EQ(Run(Quoted() + L" first"), 0u);
  EXPECT_EQ(Run(Quoted() + L" second run"), 0u);
  EXPECT_EQ(ReadAll(m_log), "first\r\nsecond run\r\n");
}

TEST_F(StubPcTool, WritesBesideItselfWhenTheLogVariableIsUnset) {
  SetEnvironmentVariableW(L"QV_STUB_LOG", nullptr);
  EXPECT_EQ(Run(Quoted() + L" -pxpc;F;Y;Other;"), 0u);
  EXPECT_EQ(ReadAll(m_folder + L"stub_pc_tool.log"), "-pxpc;F;Y;Other;\r\n");
  EXPECT_EQ(ReadAll(m_log), "<missing>");
}

TEST_F(StubPcTool, RecordsTheParametersOfAShellOpenWithAWorkingFolder) {
  const std::wstring workFolder = m_folder.substr(0, m_folder.size() - 1);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.lpFile = m_tool.c_str();
  info.lpParameters = L"-pxpc;E;X;Demo Phone 2;";
  info.lpDirectory = workFolder.c_str();
  info.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(ShellExecuteExW(&info)) << GetLastError();
  ASSERT_NE(info.hProcess, nullptr);
  qv::UniqueHandle process(info.hProcess);
  EXPECT_EQ(WaitForExit(process.get()), 0u);
  EXPECT_EQ(ReadAll(m_log), "-pxpc;E;X;Demo Phone 2;\r\n");
}

}  // namespace
