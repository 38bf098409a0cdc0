// libFuzzer target of the program's command lines: the argument text the system hands over, the
// "-l" start of the relaunched copy, a started program's command line, the PC tool's arguments
// and the relaunch's file list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/text_util.h"
#include "common/core/command_line.h"
#include "common/core/contained_name.h"
#include "tests/native/fuzz/fuzz_input.h"

using namespace qv::bootstrap;
using qv::fuzz::Check;
using qv::fuzz::IsBlank;
using qv::fuzz::Shown;

namespace {

// What a C string of |text| holds: the text up to its first NUL.
std::wstring AsCString(const std::wstring& text) { return text.substr(0, text.find(L'\0')); }

void CheckArgumentText(const std::wstring& commandLine) {
  const std::wstring line = AsCString(commandLine);
  const wchar_t* arguments = qv::SkipProgramName(line.c_str());
  Check(arguments >= line.c_str() && arguments <= line.c_str() + line.size(), "the arguments lie in the command line",
        line);
  Check(*arguments == L'\0' || !IsBlank(*arguments), "the arguments start after the blanks", line);
  // No blank outside quotes before the arguments but those that end the program's name.
  bool quoted = false;
  const wchar_t* at = line.c_str();
  for (; at < arguments && (quoted || !IsBlank(*at)); ++at) {
    if (*at == L'"') quoted = !quoted;
  }
  for (; at < arguments; ++at) Check(IsBlank(*at), "the program's name ends at its first blank outside quotes", line);
  Check(*qv::SkipProgramName(nullptr) == L'\0', "no command line has no arguments");
}

// A program started with a command line built here reads back its arguments.
void CheckRoundTrip(const std::wstring& program, const std::wstring& arguments) {
  const std::wstring path = AsCString(program);
  if (path.find(L'"') != std::wstring::npos) return;  // a path holds no double quote
  const std::wstring line = qv::QuotedCommandLine(path, AsCString(arguments));
  std::wstring expected = AsCString(arguments);
  expected.erase(0, expected.find_first_not_of(L" \t") == std::wstring::npos ? expected.size()
                                                                               : expected.find_first_not_of(L" \t"));
  Check(qv::SkipProgramName(line.c_str()) == expected, "a started program reads back its arguments", line);
}

void CheckLaunch(const std::wstring& arguments, wchar_t letter, const std::wstring& program) {
  const LaunchCommand command = ParseLaunchCommand(arguments);
  const std::string shown = Shown(arguments);
  if (arguments.find(kRelaunchSwitch) == std::wstring::npos) {
    Check(command.cmdLine.empty() && command.launchDrive.empty() && !command.invalid, "without -l it is a phone start", shown);
  } else {
    Check(command.cmdLine == arguments, "a PC start keeps its whole argument text", shown);
    Check(command.invalid == command.launchDrive.empty(), "a PC start has a drive letter or is refused", shown);
    Check(command.launchDrive.size() <= 1, "a drive letter is one character", shown);
    if (!command.invalid) Check(command.launchDrive[0] == arguments[kDriveLetterColumn], "the letter stands in its column", shown);
  }
  // The relaunch of a phone start, read back by the copy through its command line.
  if (letter == L'\0' || IsBlank(letter)) return;
  const std::wstring path = AsCString(program);
  if (path.find(L'"') != std::wstring::npos) return;
  const std::wstring line = qv::QuotedCommandLine(path, FormatRelaunchArguments(letter));
  const LaunchCommand relaunch = ParseLaunchCommand(qv::SkipProgramName(line.c_str()));
  Check(!relaunch.invalid && relaunch.launchDrive == std::wstring(1, letter), "the relaunch gives back its drive letter",
        line);
}

void CheckDriveLetter(const std::wstring& driveText) {
  const char letter = DriveLetterOf(driveText);
  if (letter != '\0') {
    Check(static_cast<unsigned char>(letter) <= 0x7F && static_cast<wchar_t>(letter) == driveText[0],
          "the mode switch's letter is the text's first character", driveText);
  } else {
    Check(driveText.empty() || driveText[0] == L'\0' || static_cast<unsigned long>(driveText[0]) > 0x7F,
          "an ASCII letter is passed on", driveText);
  }
}

void CheckPxpcArguments(const std::wstring& driveText, const std::wstring& modelType, const std::wstring& modelName) {
  const std::wstring text = FormatPxpcArguments(driveText, modelType, modelName);
  const std::string shown = Shown(text);
  const std::wstring drive = driveText.substr(0, 1);
  const std::wstring type = modelType.empty() ? std::wstring() : std::wstring(1, ToUpperAscii(modelType[0]));
  Check(text.compare(0, 6, L"-pxpc;") == 0 && text.back() == L';', "the PC tool's arguments are -pxpc;...;", shown);
  Check(text.size() == 9 + drive.size() + type.size() + modelName.size(), "one character each of drive and type", shown);
  Check(text.compare(6, drive.size(), drive) == 0 && text[6 + drive.size()] == L';', "the drive comes first", shown);
  Check(type.empty() || !(type[0] >= L'a' && type[0] <= L'z'), "the type's letter is upper-case", shown);
  Check(text.compare(text.size() - 1 - modelName.size(), modelName.size(), modelName) == 0,
        "the model name is passed on whole", shown);
}

void CheckProgramEntry(const std::wstring& entry, const std::wstring& moduleName) {
  const bool program = IsProgramEntry(entry, moduleName);
  const std::string shown = Shown(entry) + " " + Shown(moduleName);
  const size_t slash = entry.find_last_of(L"\\/");
  const std::wstring last = slash == std::wstring::npos ? entry : entry.substr(slash + 1);
  Check(program == (!moduleName.empty() && EqualsNoCase(last, moduleName)),
        "an entry is the program when its file name is the program's, letter case aside", shown);
  Check(IsProgramEntry(qv::fuzz::UpperAscii(entry), moduleName) == program, "letter case does not matter", shown);
}

void CheckRelaunchFiles(const std::wstring& programName) {
  const std::vector<RelaunchFile> files = RelaunchFiles(programName);
  const std::string shown = Shown(programName);
  Check(files.size() == 4 && files[0].name == programName && files[0].check == RelaunchCheck::Required,
        "the program itself is checked first", shown);
  const size_t slash = programName.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : programName.substr(0, slash + 1);
  for (const RelaunchFile& file : files) {
    Check(file.name.compare(0, folder.size(), folder) == 0 && file.name.find_first_of(L"\\/", folder.size()) == std::wstring::npos,
          "every file checked is in the program's folder", file.name);
    if (qv::IsContainedName(programName)) {
      Check(qv::IsContainedName(file.name), "the files of a contained program stay in the package", file.name);
    }
  }
  const std::wstring packageFolder = FormatPackageFolder(programName, L'E');
  Check(packageFolder.compare(0, programName.size(), programName) == 0 && packageFolder.back() == L'\\',
        "a package folder lies in its base folder", shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const std::wstring first = input.Wide();
  const std::wstring second = input.Wide();
  const std::wstring third = input.Wide();
  CheckArgumentText(first);
  CheckRoundTrip(first, second);
  CheckRoundTrip(second, first);
  CheckLaunch(first, third.empty() ? L'E' : third[0], second);
  CheckLaunch(second, first.empty() ? L'E' : first[0], third);
  CheckDriveLetter(first);
  CheckPxpcArguments(first, second, third);
  CheckProgramEntry(first, second);
  CheckRelaunchFiles(first);
  CheckRelaunchFiles(second);
  return 0;
}
