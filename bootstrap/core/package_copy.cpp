// The phone start's copy of the installation package into the PC folder named after the phone's
// drive letter, every file proven the phone's, and the relaunch of the copy with "-l" and the letter.
#include "bootstrap/core/workflow.h"

#include <vector>

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/failure_trace.h"
#include "bootstrap/core/folder_holds.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/text_util.h"
#include "common/core/decimal_text.h"

namespace qv::bootstrap {
namespace {

const wchar_t kPackageCopy[] = L"CopyInstallPackage()";

}  // namespace

namespace {

const wchar_t kCannotCreateFolder[] =
    L"Failed to copy installation package to system.\nCannot create temporary installation directory.\n";
const wchar_t kFailedCopy[] =
    L"Failed to copy installation package to system.\nCannot copy installation package to temporary folder.\n[002]";

// The folder there or made; when not, `cause` says why.
bool EnsureFolder(PcSystem& pc, const std::wstring& folder, std::wstring& cause) {
  if (pc.IsFolder(folder)) return true;
  const FileResult created = pc.CreateFolder(folder);
  if (!created) cause = L"[" + folder + L"] cannot be created: " + SystemErrorCause(pc, created.error);
  return static_cast<bool>(created);
}

std::wstring ElapsedText(PcSystem& pc, uint32_t since) {
  return DecimalText(static_cast<int>(pc.TickCount() - since));
}

}  // namespace

namespace {

// How long the proven files stay held after the relaunch: until the copy waits for its user's
// input (it has bound its libraries and read its configuration by then), or this long at most.
constexpr uint32_t kRelaunchHoldMs = 5000;

// Holds the files that the copy of the program runs, loads or reads from its folder, each proven
// to hold the phone's bytes: the copy is in a folder any program of the user can write to, and it
// runs as administrator. Empty `notThePhones` when all are proven; else it names the phone's path
// of the first that is not.
std::vector<std::unique_ptr<FileHold>> HoldRelaunchFiles(PcSystem& pc, const std::wstring& phoneFolder,
                                                         const std::wstring& copyFolder,
                                                         const std::wstring& programName, std::wstring& notThePhones) {
  std::vector<std::unique_ptr<FileHold>> held;
  for (const RelaunchFile& file : RelaunchFiles(programName)) {
    const std::wstring phone = phoneFolder + file.name, copy = copyFolder + file.name;
    unsigned copyError = 0, phoneError = 0;
    std::unique_ptr<FileHold> hold = pc.HoldPhonesCopy(copy, phone, copyError, phoneError);
    if (hold) {
      held.push_back(std::move(hold));
      continue;
    }
    const bool copyMissing = copyError == kErrorFileNotFound, phoneMissing = phoneError == kErrorFileNotFound;
    if (file.check == RelaunchCheck::WhereEitherHas && copyMissing && phoneMissing) continue;
    pc.Trace(Joined({L"CopyFile Src[", phone, L"], Target[", copy, L"] is not the phone's file (", DecimalText(phoneError),
                     L", ", DecimalText(copyError), L")\r\n"}));
    notThePhones = phone;
    return {};
  }
  return held;
}

// The copy's folder may not redirect the libraries of the program it starts: a "<program>.local"
// file goes, and anything else under that name (a folder, a link) refuses the relaunch.
bool IsFreeOfLibraryRedirection(PcSystem& pc, const std::wstring& program) {
  const std::wstring redirection = LibraryRedirectionOf(program);
  if (!pc.AnythingAt(redirection)) return true;
  pc.RemoveFile(redirection);
  if (!pc.AnythingAt(redirection)) return true;
  pc.Trace(L"Relaunch refused: [" + redirection + L"] would redirect the program's libraries\r\n");
  return false;
}

}  // namespace

int CopyPackageToPc(PcSystem& pc, RunView& view, const std::wstring& sourceFolder, const std::wstring& programName) {
  const std::wstring config = sourceFolder + L"config.ini";
  auto readConfig = [&](const std::wstring& key) { return pc.ReadProfileString(config, L"FILES", key); };
  const std::wstring base = pc.BaseFolder();
  if (base.empty()) {
    Warn(pc, view, std::wstring(kCannotCreateFolder) + L"[004]", kPackageCopy,
         L"the user has neither a Templates nor an Application Data folder");
    return 0;
  }
  const wchar_t letter = sourceFolder.empty() ? L'\0' : sourceFolder[0];
  const std::wstring target = FormatPackageFolder(base, letter);
  // A base or relaunch folder that is a link would take the copy, and the start, elsewhere. The
  // relaunch folder, and every sub-folder written to, is held until the copy has started. A folder
  // that cannot be held has its own line, so its warning needs no cause.
  FolderHolds holds;
  std::wstring cause;
  if (!pc.IsFreeOfLinks(base, std::wstring(1, letter))) cause = LinkCause(FolderOfPath(target));
  if (!cause.empty() || !EnsureFolder(pc, FolderOfPath(target), cause) || !holds.Hold(pc, FolderOfPath(target))) {
    Warn(pc, view, std::wstring(kCannotCreateFolder) + L"[000]", kPackageCopy, cause);
    return 0;
  }
  if (!EnsureFolder(pc, target + L"tools", cause) || !holds.Hold(pc, target + L"tools")) {
    Warn(pc, view, std::wstring(kCannotCreateFolder) + L"[001]", kPackageCopy, cause);
    return 0;
  }

  const int count = FileListCount(readConfig(kFileCountKey));
  const uint32_t start = pc.TickCount();
  std::wstring programCopy, programCopyName;
  for (int i = 0; i < count; ++i) {
    const uint32_t fileStart = pc.TickCount();
    const std::wstring name = readConfig(FileListKey(i));
    const std::wstring from = sourceFolder + name, to = target + name;
    // A name that leaves the package folder, or a file or sub-folder there that is a link or cannot
    // be held, is never copied: it fails like any failed copy.
    if (!IsSafePackageFileName(name)) {
      cause = L"config.ini lists a name that leaves the package folder or names a device";
    } else if (!pc.IsFreeOfLinks(target, name)) {
      cause = LinkCause(to);
    }
    bool copied = false;
    if (cause.empty() && holds.Hold(pc, FolderOfPath(to))) {
      const FileResult result = pc.CopyFileOver(from, to);
      copied = static_cast<bool>(result);
      if (!copied) cause = SystemErrorCause(pc, result.error);
    }
    if (!copied) {
      Warn(pc, view, std::wstring(kFailedCopy) + L"\n" + from, kPackageCopy, cause);
      return 0;
    }
    if (IsProgramEntry(name, programName)) {
      programCopy = to;
      programCopyName = name;
    }
    pc.Trace(L"CopyFile Src[" + from + L"], Target[" + to + L"], time:[" + ElapsedText(pc, fileStart) + L"]\r\n");
  }
  pc.Trace(L"CopyFile  - All Done time:[" + ElapsedText(pc, start) + L"]\r\n");

  const std::wstring arguments = FormatRelaunchArguments(letter), workFolder = FolderOfPath(programCopy);
  pc.Trace(L"ShellExecute[" + programCopy + L"][" + arguments + L"][" + workFolder + L"]\r\n");
  if (programCopy.empty() || !pc.IsFreeOfLinks(target, programCopyName)) {
    pc.Trace(L"Not Launch\r\n");
    return 0;
  }
  if (!IsFreeOfLibraryRedirection(pc, programCopy)) return 0;
  std::wstring notThePhones;
  const std::vector<std::unique_ptr<FileHold>> held =
      HoldRelaunchFiles(pc, sourceFolder, target, programCopyName, notThePhones);
  if (!notThePhones.empty()) {
    Warn(pc, view, std::wstring(kFailedCopy) + L"\n" + notThePhones, kPackageCopy,
         L"the copy on the PC does not hold the phone's bytes");
    return 0;
  }
  const ProgramStart started = pc.StartProgram(programCopy, arguments, workFolder);
  if (!started.program) {
    pc.Trace(Joined({L"Relaunch failed: [", programCopy, L"] did not start (", DecimalText(started.error), L")\r\n"}));
    TraceCause(pc, kPackageCopy, SystemErrorCause(pc, started.error));
    return 0;
  }
  started.program->WaitUntilIdle(kRelaunchHoldMs);
  return 1;
}

}  // namespace qv::bootstrap
