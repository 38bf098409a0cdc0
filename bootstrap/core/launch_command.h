// The program's two starts: what its command line means (phone start without arguments, PC
// start with "-l" and the phone's drive letter), the arguments of the relaunch and of the PC
// tool, and the drive letter as the mode-switch library takes it.
#pragma once

#include <string>
#include <vector>

namespace qv::bootstrap {

constexpr wchar_t kRelaunchSwitch[] = L"-l";
constexpr wchar_t kDefaultAppTitle[] = L"RO Zeru Zav";

struct LaunchCommand {
  std::wstring cmdLine;      // the whole argument text on a PC start; empty on a phone start
  std::wstring launchDrive;  // the phone's drive letter on a PC start
  bool invalid = false;      // "-l" without a drive letter: the start must be refused
};

// Reads the argument text (without the program's own name). Without "-l" anywhere it is a
// phone start. With it, the drive letter is the character at index 3 of the whole text, where
// "-l E" puts it; a text too short to have one is invalid.
constexpr size_t kDriveLetterColumn = 3;
LaunchCommand ParseLaunchCommand(const std::wstring& arguments);

// The caption of every window: the model name, or kDefaultAppTitle when it is empty.
std::wstring AppTitleOrDefault(const std::wstring& modelName);

// The phone's drive letter as an 8-bit character: the first character of a drive or folder
// text, or 0 when the text is empty or does not begin with an ASCII character (cutting a wider
// character down could turn it into a letter naming some other drive).
char DriveLetterOf(const std::wstring& driveText);

// "-l E": the arguments with which a phone start relaunches its copy.
std::wstring FormatRelaunchArguments(wchar_t driveLetter);

// "<base>\E\": the PC folder that receives the package copied from drive E.
std::wstring FormatPackageFolder(const std::wstring& baseFolder, wchar_t driveLetter);

// True when an entry of the package list (its path relative to the package) is the program itself:
// its file name is the program's, compared as Windows compares file names (letter case aside). A
// folder of the entry, or of the PC folder it is copied to, that happens to hold the name is no
// match; an empty program name matches nothing.
bool IsProgramEntry(const std::wstring& entry, const std::wstring& moduleName);

// "<program>.local": beside a program, this file or folder makes the system load the program's
// libraries (and its side-by-side common controls) from the program's folder.
std::wstring LibraryRedirectionOf(const std::wstring& programPath);

// A file that the relaunched copy runs, loads or reads from its folder, by its name relative to the
// package folder (and to the phone's folder of the program), and when it is checked.
enum class RelaunchCheck {
  Required,        // the copy must have it
  WhereEitherHas,  // checked where either side has it: the copy may not lack what the phone has
};

struct RelaunchFile {
  std::wstring name;
  RelaunchCheck check;
};

// What must still be the phone's bytes when the copy named `programName` (as the package list
// names it, "PX_Bootstrap.exe" or "bin\PX_Bootstrap.exe") is relaunched: the program, the device
// library it binds, the update client it loads later, and the configuration that the copy reads
// (among it the maker's signature setting, which it falls back on when the phone has gone), all
// from its own folder.
std::vector<RelaunchFile> RelaunchFiles(const std::wstring& programName);

// "-pxpc;<drive>;<type>;<model name>;": the drive letter (first character of the drive text),
// the first character of the model type, upper-cased if it is an ASCII letter (nothing when the
// type is empty), and the model name unchanged.
std::wstring FormatPxpcArguments(const std::wstring& driveText, const std::wstring& modelType,
                                 const std::wstring& modelName);

}  // namespace qv::bootstrap
