// The stand-in agents under Wine: version resource, the line each start records, staying alive
// with the agent's mutex until the stop event (the end-to-end runs use them as well). Lives in the agents folder beside them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/win/handles.h"
#include "tests/win/test_files.h"
#include "tools/stub_agents/agent_test_support.h"

#ifndef QV_AGENT_VERSION
#error "QV_AGENT_VERSION (the configured dotted agent version) must be defined"
#endif

namespace {

using qv::test::ExitCodeAfterExit;
using qv::test::Narrow;
using qv::test::OwnFolder;
using qv::test::ReadAll;
using qv::test::ScratchPath;
using qv::test::Start;
using qv::test::Utf8;
using qv::test::WaitFor;

const wchar_t* const kAgents[] = {L"CBWNotiAgent.exe", L"CBWUAAgent.exe", L"QORClient_CBW.exe", L"QORLauncher.exe"};
// A scratch folder (blank and non-ASCII letter in its name) as working folder, the log inside it.
class ScratchFolder : public testing::Test {
 protected:
  void SetUp() override {
    m_work = ScratchPath(L"stub agents \u00e9");
    ASSERT_TRUE(CreateDirectoryW(m_work.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    m_log = m_work + L"\\agents.log";
    DeleteFileW(m_log.c_str());
    SetEnvironmentVariableW(L"QV_AGENT_LOG", m_log.c_str());
    // No synchronisation request left by an earlier run of the update tool launch.
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\LowRegistry\\QV Electronics Inc\\QVMobileAX", L"SYNCUPDATE");
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"QV_AGENT_LOG", nullptr);
    for (const std::wstring& path : m_files) DeleteFileW(path.c_str());
    DeleteFileW(m_log.c_str());
    RemoveDirectoryW(m_work.c_str());
  }

  // The line an agent records when started from the scratch folder (no synchronisation request
  // in the registry).
  std::string Line(const wchar_t* agent, const std::string& arguments) const {
    return Utf8(agent) + "\t" + Utf8(m_work) + "\t" + arguments + "\t\r\n";
  }

  std::wstring m_work, m_log;
  std::vector<std::wstring> m_files;  // removed after the test
};

// ---- version resource -----------------------------------------------------------------------

TEST(StubAgentVersion, EveryStandInCarriesTheConfiguredVersionAsTextAndNumbers) {
  std::wstring text = L"" QV_AGENT_VERSION;
  for (size_t dot = text.find(L'.'); dot != std::wstring::npos; dot = text.find(L'.', dot)) text.replace(dot, 1, L", ");
  for (const wchar_t* agent : kAgents) {
    SCOPED_TRACE(Narrow(agent));
    const std::wstring path = OwnFolder() + agent;
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\FileVersion", &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), text);
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x409);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    wchar_t numbers[64] = L"";
    swprintf(numbers, 64, L"%u, %u, %u, %u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(std::wstring(numbers), text);
  }
}

// ---- staying alive --------------------------------------------------------------------------

class StubAgentStay : public ScratchFolder {
 protected:
  void TearDown() override {
    // Whatever a failed test left running ends here, so the next one starts clean.
    for (qv::UniqueHandle& process : m_staying) {
      if (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        SignalStop();
        if (WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 9);
      }
    }
    ScratchFolder::TearDown();
  }

  // Starts a staying agent and waits until it has recorded its start (`lines` lines in the log).
  HANDLE StartStaying(const wchar_t* agent, const std::wstring& arguments, size_t lines) {
    m_staying.push_back(Start(OwnFolder() + agent, arguments, m_work));
    HANDLE process = m_staying.back().get();
    if (process == nullptr) return nullptr;
    WaitFor([&] { return LineCount() >= lines; }, 10000);
    return process;
  }

  size_t LineCount() const {
    const std::string log = ReadAll(m_log);
    size_t count = 0;
    for (size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2)) ++count;
    return count;
  }

  static void SignalStop() {
    qv::UniqueHandle stop(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QvStubAgentStop"));
    if (stop) SetEvent(stop.get());
  }

  static bool MutexExists(const wchar_t* name) {
    return qv::UniqueHandle(OpenMutexW(SYNCHRONIZE, FALSE, name)).valid();
  }

  std::vector<qv::UniqueHandle> m_staying;
};

TEST_F(StubAgentStay, HoldsItsMutexUntilTheStopEventAndReleasesIt) {
  struct Case {
    const wchar_t* agent;
    std::wstring arguments;
    const wchar_t* mutex;
  };
  const Case cases[] = {{L"CBWNotiAgent.exe", L"--stay", L"Global_QVSWAGENT_CBW"},
                        {L"CBWUAAgent.exe", L"/s --stay", L"Global_QVUAAGENT_CBW"},
                        {L"QORLauncher.exe", L"--stay --mutex QvTestLauncher", L"QvTestLauncher"}};
  size_t lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.agent));
    HANDLE process = StartStaying(c.agent, c.arguments, ++lines);
    ASSERT_NE(process, nullptr);
    qv::UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, c.mutex));
    ASSERT_TRUE(mutex) << GetLastError();
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // another process owns it
    EXPECT_EQ(WaitForSingleObject(process, 300), static_cast<DWORD>(WAIT_TIMEOUT));   // and stays
    SignalStop();
    EXPECT_EQ(ExitCodeAfterExit(process), 0u);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));  // released, not abandoned
    ReleaseMutex(mutex.get());
  }
  EXPECT_EQ(ReadAll(m_log), Line(L"CBWNotiAgent.exe", "--stay") + Line(L"CBWUAAgent.exe", "/s --stay") +
                                Line(L"QORLauncher.exe", "--stay --mutex QvTestLauncher"));
}

TEST_F(StubAgentStay, StopSwitchEndsEveryStayingInstanceAndRecordsNothing) {
  HANDLE notification = StartStaying(L"CBWNotiAgent.exe", L"--stay", 1);
  HANDLE assistant = StartStaying(L"CBWUAAgent.exe", L"--stay", 2);
  ASSERT_NE(notification, nullptr);
  ASSERT_NE(assistant, nullptr);
  qv::UniqueHandle stopper = Start(OwnFolder() + L"QORLauncher.exe", L"--stop", m_work);
  ASSERT_TRUE(stopper);
  EXPECT_EQ(ExitCodeAfterExit(stopper.get()), 0u);
  EXPECT_EQ(ExitCodeAfterExit(notification), 0u);
  EXPECT_EQ(ExitCodeAfterExit(assistant), 0u);
  EXPECT_FALSE(MutexExists(L"Global_QVSWAGENT_CBW"));
  EXPECT_EQ(LineCount(), 2u);
}

}  // namespace
