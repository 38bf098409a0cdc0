// agent_caller.exe under Wine, against the test double of the client library in caller-test/:
// the JSON line it writes for each export, a full or overrun result buffer, and its exit codes
// for usage errors and a missing library. Lives in the agents folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win/handles.h"
#include "tests/win/test_files.h"
#include "tools/stub_agents/agent_test_support.h"

namespace {

using qv::test::ExitCodeAfterExit;
using qv::test::OwnFolder;
using qv::test::ReadAll;
using qv::test::ScratchPath;
using qv::test::Start;

class AgentCaller : public testing::Test {
 protected:
  void SetUp() override {
    m_out = ScratchPath(L"agent caller") + L".json";
    DeleteFileW(m_out.c_str());
  }

  void TearDown() override {
    for (const wchar_t* name : {L"QV_FAKE_RETURN", L"QV_FAKE_RESULT", L"QV_FAKE_RESULT_BYTES"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
    DeleteFileW(m_out.c_str());
  }

  // Runs the caller beside the test double with these arguments and "--out <file>".
  DWORD Call(const std::wstring& arguments, const std::wstring& caller = OwnFolder() + L"caller-test\\agent_caller.exe") {
    qv::UniqueHandle process = Start(caller, arguments + L" --out \"" + m_out + L"\"", L"");
    return process ? ExitCodeAfterExit(process.get()) : 0xFFFFFFFF;
  }

  std::string Output() const { return ReadAll(m_out); }

  std::wstring m_out;
};

TEST_F(AgentCaller, ReportsWhatEachExportReturnedAndWrote) {
  SetEnvironmentVariableW(L"QV_FAKE_RESULT", L"AGENT \"ok\"\\");
  EXPECT_EQ(Call(L"CheckUTSetup"), 0u);
  EXPECT_EQ(Output(), "{\"export\":\"CheckUTSetup\",\"returned\":1,\"result\":\"AGENT \\\"ok\\\"\\\\\","
                      "\"terminated\":true,\"overrun\":false}\n");
  SetEnvironmentVariableW(L"QV_FAKE_RESULT", L"");
  SetEnvironmentVariableW(L"QV_FAKE_RETURN", L"0");
  EXPECT_EQ(Call(L"CheckUASetup"), 0u);
  EXPECT_EQ(Output(), "{\"export\":\"CheckUASetup\",\"returned\":0,\"result\":\"\",\"terminated\":true,"
                      "\"overrun\":false}\n");
  EXPECT_EQ(Call(L"StartUpdate"), 0u);
  EXPECT_EQ(Output(), "{\"export\":\"StartUpdate\",\"returned\":0,\"result\":null,\"overrun\":false}\n");
}

TEST_F(AgentCaller, TellsAFullBufferWithoutItsEndFromAWritePastIt) {
  SetEnvironmentVariableW(L"QV_FAKE_RESULT_BYTES", L"200");
  EXPECT_EQ(Call(L"CheckUTSetup"), 0u);
  EXPECT_EQ(Output(), "{\"export\":\"CheckUTSetup\",\"returned\":1,\"result\":\"" + std::string(200, 'A') +
                          "\",\"terminated\":false,\"overrun\":false}\n");
  SetEnvironmentVariableW(L"QV_FAKE_RESULT_BYTES", L"201");
  EXPECT_EQ(Call(L"CheckUASetup"), 0u);
  EXPECT_NE(Output().find("\"overrun\":true}"), std::string::npos) << Output();
  SetEnvironmentVariableW(L"QV_FAKE_RESULT_BYTES", L"256");
  EXPECT_EQ(Call(L"CheckUTSetup"), 0u);
  EXPECT_NE(Output().find("\"overrun\":true}"), std::string::npos) << Output();
}

TEST_F(AgentCaller, RefusesUnknownExportsAndIncompleteSwitches) {
  EXPECT_EQ(Call(L"CheckPXPC"), 2u);
  EXPECT_EQ(Call(L"checkutsetup"), 2u);
  qv::UniqueHandle process = Start(OwnFolder() + L"caller-test\\agent_caller.exe", L"CheckUTSetup --out", L"");
  ASSERT_TRUE(process);
  EXPECT_EQ(ExitCodeAfterExit(process.get()), 2u);
  EXPECT_EQ(Output(), "<missing>");
}

TEST_F(AgentCaller, WithoutTheLibraryBesideItSaysSo) {
  const std::wstring folder = ScratchPath(L"caller alone") + L"\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring caller = folder + L"agent_caller.exe";
  ASSERT_TRUE(CopyFileW((OwnFolder() + L"caller-test\\agent_caller.exe").c_str(), caller.c_str(), FALSE));
  EXPECT_EQ(Call(L"StartUpdate", caller), 3u);
  EXPECT_EQ(Output().rfind("{\"export\":\"StartUpdate\",\"error\":\"QVUTchkdl.dll not loaded", 0), 0u) << Output();
  DeleteFileW(caller.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
