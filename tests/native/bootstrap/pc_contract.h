// What the workflow relies on of every PC it runs on: the same expectations run against the
// scripted PC natively and against the Windows adapter under Wine, so that the fake the workflow's
// tests run on cannot drift from the real one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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
  // Another program's write over `path`; false when it was refused.
  virtual bool WriteAsAnother(const std::wstring& path, const std::string& text) = 0;
  // A second name `secondName` for the existing file `path` (a hard link).
  virtual void MakeSecondName(const std::wstring& path, const std::wstring& secondName) = 0;
  // A program that starts, with the arguments it needs to end by itself, and the exit code it
  // ends with.
  virtual std::wstring Program() = 0;
  virtual std::wstring ProgramArguments() = 0;
  virtual uint32_t ProgramExitCode() = 0;
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
// that is there starts, the wait for its first input ends, and the wait for its end tells its exit
// code.
inline void ExpectTheStartContract(PcContractPlace& place) {
  PcSystem& pc = place.Pc();
  const ProgramStart missing = pc.StartProgram(place.Root() + L"\\missing.exe", std::wstring(), place.Root());
  EXPECT_EQ(missing.program, nullptr);
  EXPECT_EQ(missing.error, kErrorFileNotFound);
  const ProgramStart started = pc.StartProgram(place.Program(), place.ProgramArguments(), place.Root());
  ASSERT_NE(started.program, nullptr) << started.error;
  started.program->WaitUntilIdle(5000);
  uint32_t exitCode = 12345;
  EXPECT_TRUE(started.program->WaitForEnd(30000, exitCode));
  EXPECT_EQ(exitCode, place.ProgramExitCode());
}

// A held file: its first bytes are read; while it is held nobody writes, replaces or deletes it,
// not even the program; a copy over it counts only where it holds the source's bytes already.
// Once released it can be deleted.
inline void ExpectTheHeldFileContract(PcContractPlace& place) {
  PcSystem& pc = place.Pc();
  const std::wstring root = place.Root();
  const std::wstring held = root + L"\\held.ini", same = root + L"\\same.ini", other = root + L"\\other.ini";
  place.MakeFile(held, "[S]\nk=held\n");
  place.MakeFile(same, "[S]\nk=held\n");
  place.MakeFile(other, "[S]\nk=other\n");
  std::string head;
  EXPECT_EQ(pc.HoldFile(root + L"\\missing.ini", 4, head), nullptr);
  {
    const std::unique_ptr<FileHold> hold = pc.HoldFile(held, 4, head);
    ASSERT_NE(hold, nullptr);
    EXPECT_EQ(head, "[S]\n");
    EXPECT_FALSE(place.WriteAsAnother(held, "planted"));
    pc.RemoveFile(held);
    EXPECT_TRUE(pc.AnythingAt(held));
    EXPECT_FALSE(pc.MoveFileOver(other, held));
    EXPECT_TRUE(pc.AnythingAt(other));
    EXPECT_FALSE(pc.CopyFileOver(other, held));
    EXPECT_TRUE(pc.CopyFileOver(same, held));
  }
  EXPECT_EQ(pc.ReadProfileString(held, L"S", L"k"), L"held");
  pc.RemoveFile(held);
  EXPECT_FALSE(pc.AnythingAt(held));
}

// A link: a file with a second name is a link on the way to either name; it is neither held nor
// deleted. A plain file beside it is free of links.
inline void ExpectTheLinkContract(PcContractPlace& place) {
  PcSystem& pc = place.Pc();
  const std::wstring root = place.Root();
  place.MakeFile(root + L"\\plain.ini", "[S]\nk=v\n");
  place.MakeFile(root + L"\\linked.ini", "[S]\nk=v\n");
  place.MakeSecondName(root + L"\\linked.ini", root + L"\\second.ini");
  EXPECT_TRUE(pc.IsFreeOfLinks(root, L"plain.ini"));
  EXPECT_FALSE(pc.IsFreeOfLinks(root, L"linked.ini"));
  EXPECT_FALSE(pc.IsFreeOfLinks(root, L"second.ini"));
  std::string head;
  EXPECT_EQ(pc.HoldFile(root + L"\\linked.ini", 4, head), nullptr);
  pc.RemoveFile(root + L"\\second.ini");
  EXPECT_TRUE(pc.AnythingAt(root + L"\\second.ini"));
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
