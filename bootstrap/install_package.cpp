// The phone start's copy of the installation package into the PC folder named after the phone's
// drive letter, and the relaunch of that copy with "-l" and the letter, once the program and its
// libraries there are proven to be the phone's, held until the copy has started.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "bootstrap/app.h"
#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/support.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "bootstrap/view/init_dlg.h"
#include "common/win/held_file.h"

using namespace qv::bootstrap;

namespace {

void ShowCopyMessage(const CInitDlg& owner, const std::wstring& text) {
  ::MessageBoxW(owner.GetSafeHwnd(), text.c_str(), owner.m_strCaption.c_str(), MB_ICONEXCLAMATION | MB_OK);
}

const wchar_t kCannotCreateFolder[] =
    L"Failed to copy installation package to system.\nCannot create temporary installation directory.\n";

// How long the checked files stay held after the relaunch: until the copy waits for its user's
// input (it has bound its libraries by then), or this long at most.
constexpr DWORD kRelaunchHoldMs = 5000;

const wchar_t kFailedCopy[] =
    L"Failed to copy installation package to system.\nCannot copy installation package to temporary folder.\n[002]";

// Holds the files that the copy of the program runs or loads from its folder, each proven to hold
// the phone's bytes: the copy is in a folder any program of the user can write to, and it runs as
// administrator. Names the first file that is not the phone's in `failed` (its phone path).
bool HoldRelaunchFiles(const std::wstring& phoneFolder, const std::wstring& packageFolder,
                       const std::wstring& programName, std::vector<qv::CHeldFile>& held, std::wstring& failed) {
  for (const RelaunchFile& file : RelaunchFiles(programName)) {
    qv::CHeldFile phone = qv::CHeldFile::Open(phoneFolder + file.name);
    qv::CHeldFile copy = qv::CHeldFile::Open(packageFolder + file.name);
    const bool neither = !file.required && phone.Error() == ERROR_FILE_NOT_FOUND && copy.Error() == ERROR_FILE_NOT_FOUND;
    if (neither) continue;
    if (!copy.HasSameBytes(phone)) {
      WriteTraceLog(FormatText(L"CopyFile Src[%ls], Target[%ls] is not the phone's file (%u, %u)\r\n",
                               phone.Path().c_str(), copy.Path().c_str(), static_cast<unsigned>(phone.Error()),
                               static_cast<unsigned>(copy.Error())));
      failed = phone.Path();
      return false;
    }
    held.push_back(std::move(copy));
  }
  return true;
}

// Starts the copy with the shell's "open" verb and keeps |held| until it has started.
void RelaunchHolding(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
                     std::vector<qv::CHeldFile>& held) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  ::ShellExecuteExW(&info);
  qv::UniqueProcessHandle process(info.hProcess);
  if (process) ::WaitForInputIdle(process.get(), kRelaunchHoldMs);
  held.clear();
}

bool EnsureFolder(const std::wstring& folder) {
  DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  return ::CreateDirectoryW(folder.c_str(), nullptr) != 0;
}

}  // namespace

int CopyInstallPackage(CInitDlg& caller) {
  CUSBAutoRunDlg phone;  // never shown: only its view of where the program runs from
  std::wstring source = phone.GetModulePath();
  const std::wstring& programName = phone.m_strModuleName;

  std::wstring base = GetBaseFolder();
  if (base.empty()) {
    ShowCopyMessage(caller, std::wstring(kCannotCreateFolder) + L"[004]");
    return 0;
  }
  wchar_t letter = source.empty() ? L'\0' : source[0];
  std::wstring target = FormatPackageFolder(base, letter);
  // A base or relaunch folder that is a link would take the copy, and the start, elsewhere.
  if (!IsFreeOfLinks(base, std::wstring(1, letter)) || !EnsureFolder(FolderOfPath(target))) {
    ShowCopyMessage(caller, std::wstring(kCannotCreateFolder) + L"[000]");
    return 0;
  }
  if (!EnsureFolder(target + L"tools")) {
    ShowCopyMessage(caller, std::wstring(kCannotCreateFolder) + L"[001]");
    return 0;
  }

  int count = FileListCount(phone.GetConfigString(L"FILES", kFileCountKey));
  DWORD start = ::GetTickCount();
  std::wstring programCopy, programCopyName;
  for (int i = 0; i < count; ++i) {
    DWORD fileStart = ::GetTickCount();
    std::wstring name = phone.GetConfigString(L"FILES", FileListKey(i));
    std::wstring from = source + name, to = target + name;
    // A name that leaves the package folder, or a file or sub-folder there that is a link, is never
    // copied: it fails like any failed copy.
    if (!IsSafePackageFileName(name) || !IsFreeOfLinks(target, name) || !CopyFileOverwrite(from, to)) {
      ShowCopyMessage(caller, FormatText(L"%ls\n%ls", kFailedCopy, from.c_str()));
      return 0;
    }
    if (IsProgramCopy(to, programName)) {
      programCopy = to;
      programCopyName = name;
    }
    WriteTraceLog(FormatText(L"CopyFile Src[%ls], Target[%ls], time:[%d]\r\n", from.c_str(), to.c_str(),
                             static_cast<int>(::GetTickCount() - fileStart)));
  }
  WriteTraceLog(FormatText(L"CopyFile  - All Done time:[%d]\r\n", static_cast<int>(::GetTickCount() - start)));

  std::wstring arguments = FormatRelaunchArguments(letter);
  std::wstring workFolder = FolderOfPath(programCopy);
  WriteTraceLog(FormatText(L"ShellExecute[%ls][%ls][%ls]\r\n", programCopy.c_str(), arguments.c_str(), workFolder.c_str()));
  if (programCopy.empty() || !IsFreeOfLinks(target, programCopyName)) {
    WriteTraceLog(L"Not Launch\r\n");
    return 0;
  }
  std::vector<qv::CHeldFile> held;
  std::wstring notThePhones;
  if (!HoldRelaunchFiles(source, target, programCopyName, held, notThePhones)) {
    ShowCopyMessage(caller, FormatText(L"%ls\n%ls", kFailedCopy, notThePhones.c_str()));
    return 0;
  }
  RelaunchHolding(programCopy, arguments, workFolder, held);
  return 1;
}
