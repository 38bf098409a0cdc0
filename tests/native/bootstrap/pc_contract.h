// What the workflow relies on of every PC it runs on: the same expectations run against the
// scripted PC natively and against the Windows adapter under Wine, so that the fake the workflow's
// tests run on cannot drift from the real one.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bootstrap/core/pc_system.h"

namespace qv::bootstrap::testing {

// A place to try a PC in: an existing folder of its own, and ways to put things there as another
// program would.
class PcContractPlace {
 public:
  virtual ~PcContractPlace() = default;
  virtual PcSystem& Pc() = 0;
  // The folder to work in, without a final backslash.
  virtual std::wstring Root() = 0;
  virtual void MakeFolder(const std::wstring& path) = 0;
  virtual void MakeFile(const std::wstring& path, const std::string& text) = 0;
  // A program that starts, with the arguments it needs to end by itself.
  virtual std::wstring Program() = 0;
  virtual std::wstring ProgramArguments() = 0;
};

// A held folder: a missing folder or a file is refused with the system's error; while held, files
// come, move and go in it, but the folder itself cannot be removed, not even by the program; two
// holds of one folder stand side by side; once released, it can be removed.
inline void ExpectTheHeldFolderContract(PcContractPlace& place) {
  PcSystem& pc = place.Pc();
  const std::wstring folder = place.Root() + L"\\held";
  place.MakeFolder(folder);
  place.MakeFile(place.Root() + L"\\file.ini", "[S]\nk=v\n");
  unsigned error = 0;
  EXPECT_EQ(pc.HoldFolder(place.Root() + L"\\missing", error), nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
  error = 0;
  EXPECT_EQ(pc.HoldFolder(place.Root() + L"\\file.ini", error), nullptr);
  EXPECT_EQ(error, 267u);  // the system's "not a folder"
  {
    const std::unique_ptr<FolderHold> held = pc.HoldFolder(folder, error);
    ASSERT_NE(held, nullptr) << error;
    const std::unique_ptr<FolderHold> again = pc.HoldFolder(folder, error);
    EXPECT_NE(again, nullptr) << error;

    place.MakeFile(folder + L"\\new.ini", "[S]\nk=new\n");
    place.MakeFile(folder + L"\\old.ini", "[S]\nk=old\n");
    EXPECT_TRUE(pc.MoveFileOver(folder + L"\\new.ini", folder + L"\\old.ini"));
    EXPECT_FALSE(pc.AnythingAt(folder + L"\\new.ini"));
    EXPECT_EQ(pc.ReadProfileString(folder + L"\\old.ini", L"S", L"k"), L"new");
    EXPECT_FALSE(pc.MoveFileOver(folder + L"\\gone.ini", folder + L"\\old.ini"));
    pc.RemoveFile(folder + L"\\old.ini");
    EXPECT_FALSE(pc.AnythingAt(folder + L"\\old.ini"));

    pc.RemoveFolder(folder);
    EXPECT_TRUE(pc.IsFolder(folder));
  }
  pc.RemoveFolder(folder);
  EXPECT_FALSE(pc.AnythingAt(folder));
}

// A start: a program that is not there is not started and says so with the system's error; one
// that is there starts, and the wait for its first input ends.
inline void ExpectTheStartContract(PcContractPlace& place) {
  PcSystem& pc = place.Pc();
  const ProgramStart missing = pc.StartProgram(place.Root() + L"\\missing.exe", std::wstring(), place.Root());
  EXPECT_EQ(missing.program, nullptr);
  EXPECT_EQ(missing.error, kErrorFileNotFound);
  const ProgramStart started = pc.StartProgram(place.Program(), place.ProgramArguments(), place.Root());
  ASSERT_NE(started.program, nullptr) << started.error;
  started.program->WaitUntilIdle(5000);
}

// A failed file call tells the system's error, which the trace's cause line names with its text; a
// call that succeeds tells none.
inline void ExpectTheFileResultContract(PcContractPlace& place) {
  PcSystem& pc = place.Pc();
  const std::wstring root = place.Root();
  place.MakeFile(root + L"\\a.ini", "[S]\nk=a\n");
  EXPECT_EQ(pc.CopyFileOver(root + L"\\missing.ini", root + L"\\b.ini").error, kErrorFileNotFound);
  EXPECT_EQ(pc.CopyFileOver(root + L"\\a.ini", root + L"\\b.ini").error, 0u);
  EXPECT_EQ(pc.MoveFileOver(root + L"\\missing.ini", root + L"\\c.ini").error, kErrorFileNotFound);
  EXPECT_EQ(pc.MoveFileOver(root + L"\\b.ini", root + L"\\c.ini").error, 0u);
  EXPECT_EQ(pc.CreateFolder(root + L"\\new").error, 0u);
  EXPECT_EQ(pc.CreateFolder(root + L"\\new").error, 183u);  // the system's "already exists"
  const std::wstring text = pc.SystemErrorText(kErrorFileNotFound);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'\n');  // the cause line ends with the text itself
  EXPECT_NE(text.back(), L' ');
}

}  // namespace qv::bootstrap::testing
