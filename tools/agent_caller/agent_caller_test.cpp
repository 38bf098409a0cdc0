// agent_caller.exe under Wine, against the test double of the client library in caller-test/:
// the end-to-end runs trust its report that the library left the result buffer alone, so it must
// tell a full buffer without its NUL from a write past the buffer. Lives in the agents folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win/handles.h"
#include "tests/win/test_files.h"

namespace {

using qv::test::OwnFolder;
using qv::test::ReadAll;

class AgentCaller : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, temp);
    m_out = std::wstring(temp) + L"agent caller " + std::to_wstring(GetCurrentProcessId()) + L".json";
    DeleteFileW(m_out.c_str());
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"QV_FAKE_RESULT_BYTES", nullptr);
    DeleteFileW(m_out.c_str());
  }

  // Runs the caller beside the test double with the library writing `bytes` bytes of 'A' and no
  // NUL; returns the caller's JSON line.
  std::string CallWriting(const wchar_t* exportName, int bytes) {
    SetEnvironmentVariableW(L"QV_FAKE_RESULT_BYTES", std::to_wstring(bytes).c_str());
    const std::wstring exe = OwnFolder() + L"caller-test\\agent_caller.exe";
    std::wstring commandLine = L"\"" + exe + L"\" " + exportName + L" --out \"" + m_out + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
      return "<not started>";
    }
    qv::UniqueHandle process(info.hProcess), thread(info.hThread);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.get(), 15000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    return ReadAll(m_out);
  }

  std::wstring m_out;
};

TEST_F(AgentCaller, TellsAFullBufferWithoutItsEndFromAWritePastIt) {
  EXPECT_EQ(CallWriting(L"CheckUTSetup", 200), "{\"export\":\"CheckUTSetup\",\"returned\":1,\"result\":\"" +
                                                    std::string(200, 'A') + "\",\"terminated\":false,\"overrun\":false}\n");
  for (int bytes : {201, 256}) {
    const std::string line = CallWriting(L"CheckUASetup", bytes);
    EXPECT_NE(line.find("\"overrun\":true}"), std::string::npos) << bytes << ": " << line;
  }
}

}  // namespace
