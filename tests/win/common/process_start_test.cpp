// Runs under Wine: programs started as themselves. The helper start_recorder.exe (beside this
// test) records the command line and the current folder it got; a start runs exactly the program
// named, with the quoted path and the arguments, in the folder given, and no file association of
// the user's class registry takes a start over.
#include "common/win/process_start.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/win/ansi_text.h"
#include "common/win/held_file.h"
#include "tests/win/test_files.h"

namespace {

constexpr DWORD kExitWaitMs = 30000;  // a generous end for a helper that exits at once
constexpr wchar_t kProbeExtension[] = L".qvstartprobe";
constexpr wchar_t kProbeClass[] = L"QvStartProbe.Document";

// What the helper wrote: its command line and its current folder; empty when it wrote nothing.
struct Record {
  std::wstring commandLine, folder;
};

Record ReadRecord(const std::wstring& path) {
  const std::string text = qv::test::ReadAll(path);
  const size_t first = text.find('\n'), second = text.find('\n', first + 1);
  if (text == "<missing>" || second == std::string::npos) return {};
  return {qv::FromUtf8(text.data(), first), qv::FromUtf8(text.data() + first + 1, second - first - 1)};
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void SetDefaultValue(HKEY root, const std::wstring& key, const std::wstring& value) {
  HKEY opened = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr),
            ERROR_SUCCESS)
      << key;
  qv::UniqueRegKey owned(opened);
  ASSERT_EQ(::RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// Every test works in a fresh folder of its own with a blank in its name, "work folder" inside it
// as the started program's folder.
class ProgramStart : public ::testing::Test {
 protected:
  void SetUp() override {
    static int s_nTests = 0;
    wchar_t temp[MAX_PATH] = L"";
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    m_strRoot = std::wstring(temp) + L"qv start " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++s_nTests);
    qv::test::RemoveTree(m_strRoot);
    ASSERT_TRUE(::CreateDirectoryW(m_strRoot.c_str(), nullptr));
    m_strWork = m_strRoot + L"\\work folder";
    ASSERT_TRUE(::CreateDirectoryW(m_strWork.c_str(), nullptr));
    m_strRecorder = qv::test::OwnFolder() + L"start_recorder.exe";
    ASSERT_TRUE(Exists(m_strRecorder)) << "start_recorder.exe is not beside the test";
  }

  void TearDown() override {
    for (const std::wstring& key : {std::wstring(kProbeExtension), std::wstring(kProbeClass)}) {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str());
      if (m_bMachineClasses) ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
    qv::test::RemoveTree(m_strRoot);
  }

  // The association of the probe's document type with |command|, in the user's own classes.
  // Windows shows those in the merged view of HKEY_CLASSES_ROOT, where the shell looks; Wine 8
  // keeps that view to the machine's classes, so there it goes into the merged view itself too.
  void RegisterProbeAssociation(const std::wstring& command) {
    const std::wstring commandKey = std::wstring(kProbeClass) + L"\\shell\\open\\command";
    SetDefaultValue(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kProbeExtension, kProbeClass);
    SetDefaultValue(HKEY_CURRENT_USER, L"Software\\Classes\\" + commandKey, command);
    qv::UniqueRegKey merged;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kProbeExtension, 0, KEY_READ, merged.put()) == ERROR_SUCCESS) return;
    std::printf("the merged class view does not show the user's classes: association written there too\n");
    m_bMachineClasses = true;
    SetDefaultValue(HKEY_CLASSES_ROOT, kProbeExtension, kProbeClass);
    SetDefaultValue(HKEY_CLASSES_ROOT, commandKey, command);
  }

  // Starts |program| with |arguments| in the work folder and waits for its end; its exit code.
  DWORD RunToEnd(const std::wstring& program, const std::wstring& arguments) {
    qv::ProcessStart start = qv::StartProcess(program, arguments, m_strWork);
    EXPECT_TRUE(start.started && start.process) << "error " << start.error << ": " << program;
    DWORD exitCode = 12345;
    EXPECT_TRUE(qv::WaitForExit(start.process.get(), kExitWaitMs, exitCode)) << "did not end: " << program;
    return exitCode;
  }

  // |start| was refused with a reason, gave no process, and |record| (what a program run in its
  // stead would write) does not appear within a second either.
  static void ExpectRefused(const qv::ProcessStart& start, const std::wstring& record, const char* what) {
    std::printf("%s: error %lu\n", what, start.error);
    EXPECT_FALSE(start.started) << what;
    EXPECT_NE(start.error, static_cast<DWORD>(ERROR_SUCCESS)) << what;
    EXPECT_FALSE(start.process) << what;
    ::Sleep(1000);
    EXPECT_FALSE(Exists(record)) << what << ": a program ran";
  }

  std::wstring m_strRoot;
  std::wstring m_strWork;
  std::wstring m_strRecorder;
  bool m_bMachineClasses = false;
};

// A missing program's start fails with the system's error: the PC contract's start part
// (windows_pc_contract_test).
TEST_F(ProgramStart, AMissingWorkingFolderRefusesTheStartRatherThanRunningElsewhere) {
  const std::wstring record = m_strRoot + L"\\record.txt";
  ExpectRefused(qv::StartProcess(m_strRecorder, L"\"" + record + L"\"", m_strRoot + L"\\gone"), record,
                "start in a missing folder");
}

// How the command line is built, with and without arguments, is the native command line test's;
// here the system starts the whole path with blanks in it (not a program named by its first word),
// hands it that line, runs it in the folder given and tells its exit code. The program is held
// against changes (others may only read), as the agents and the launcher are until their start.
TEST_F(ProgramStart, AHeldProgramWithBlanksInItsPathStartsWholeWithItsArgumentsInTheFolderGiven) {
  const std::wstring folder = m_strRoot + L"\\with blanks", program = folder + L"\\start recorder.exe";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(::CopyFileW(m_strRecorder.c_str(), program.c_str(), FALSE)) << ::GetLastError();
  const qv::CHeldFile held = qv::CHeldFile::Open(program);
  ASSERT_TRUE(held.IsHeld()) << held.Error();
  const std::wstring record = folder + L"\\record.txt";
  EXPECT_EQ(RunToEnd(program, L"\"" + record + L"\" 7"), 7u);
  const Record seen = ReadRecord(record);
  EXPECT_EQ(seen.commandLine, L"\"" + program + L"\" \"" + record + L"\" 7");
  EXPECT_EQ(seen.folder, m_strWork);
}

TEST_F(ProgramStart, AFileAssociationOfTheUserNeverTakesOverAStart) {
  // A made-up document type whose "open" in the user's own class registry runs the helper.
  const std::wstring association = m_strRoot + L"\\association.txt";
  RegisterProbeAssociation(L"\"" + m_strRecorder + L"\" \"" + association + L"\" 5");
  const std::wstring document = m_strRoot + L"\\document" + kProbeExtension;
  qv::test::WriteAll(document, "not a program\r\n");

  // The association is live: the shell's "open" of the document runs the helper.
  SHELLEXECUTEINFOW shell{};
  shell.cbSize = sizeof(shell);
  shell.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  shell.lpVerb = L"open";
  shell.lpFile = document.c_str();
  shell.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(::ShellExecuteExW(&shell)) << "the shell did not open the document: " << ::GetLastError();
  qv::UniqueProcessHandle opened(shell.hProcess);
  DWORD exitCode = 0;
  ASSERT_TRUE(qv::WaitForExit(opened.get(), kExitWaitMs, exitCode));
  EXPECT_EQ(exitCode, 5u);
  ASSERT_FALSE(ReadRecord(association).commandLine.empty()) << "the association did not run";
  ASSERT_TRUE(::DeleteFileW(association.c_str()));

  // A start of the same document is refused by the system instead.
  ExpectRefused(qv::StartProcess(document, L"", m_strWork), association, "start of a document with an association");
}

TEST_F(ProgramStart, AWaitEndsAtItsLimitWhileTheProgramRunsAndGivesTheCodeOnceItEnds) {
  const std::wstring record = m_strRoot + L"\\record.txt";
  qv::ProcessStart start = qv::StartProcess(m_strRecorder, L"\"" + record + L"\" 0 60000", m_strWork);
  ASSERT_TRUE(start.started) << start.error;
  DWORD exitCode = 0;
  const ULONGLONG before = ::GetTickCount64();
  EXPECT_FALSE(qv::WaitForExit(start.process.get(), 300, exitCode));
  const ULONGLONG waited = ::GetTickCount64() - before;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 10000u);
  ASSERT_TRUE(::TerminateProcess(start.process.get(), 6));
  EXPECT_TRUE(qv::WaitForExit(start.process.get(), kExitWaitMs, exitCode));
  EXPECT_EQ(exitCode, 6u);
  EXPECT_FALSE(qv::WaitForExit(nullptr, 0, exitCode));
}

}  // namespace
