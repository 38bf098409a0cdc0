// Command lines of the program, its relaunch and the PC tool.
#include "bootstrap/core/launch_command.h"

#include "bootstrap/core/device_library_source.h"
#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {

LaunchCommand ParseLaunchCommand(const std::wstring& arguments) {
  LaunchCommand command;
  const size_t at = arguments.find(kRelaunchSwitch);
  if (at == std::wstring::npos) return command;
  command.cmdLine = arguments;
  // The relaunch always writes "-l E", so the letter stands at a fixed column.
  if (arguments.size() > kDriveLetterColumn) {
    command.launchDrive.assign(1, arguments[kDriveLetterColumn]);
  } else {
    command.invalid = true;
  }
  return command;
}

std::wstring AppTitleOrDefault(const std::wstring& modelName) {
  return modelName.empty() ? std::wstring(kDefaultAppTitle) : modelName;
}

char DriveLetterOf(const std::wstring& driveText) {
  if (driveText.empty() || static_cast<unsigned long>(driveText[0]) > 0x7F) return '\0';
  return static_cast<char>(driveText[0]);
}

std::wstring FormatRelaunchArguments(wchar_t driveLetter) {
  return std::wstring(kRelaunchSwitch) + L' ' + driveLetter;
}

std::wstring FormatPackageFolder(const std::wstring& baseFolder, wchar_t driveLetter) {
  return baseFolder + L'\\' + driveLetter + L'\\';
}

bool IsProgramEntry(const std::wstring& entry, const std::wstring& moduleName) {
  const size_t slash = entry.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? entry : entry.substr(slash + 1);
  return !moduleName.empty() && EqualsNoCase(name, moduleName);
}

std::wstring LibraryRedirectionOf(const std::wstring& programPath) { return programPath + L".local"; }

std::vector<RelaunchFile> RelaunchFiles(const std::wstring& programName) {
  const size_t slash = programName.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : programName.substr(0, slash + 1);
  return {{programName, RelaunchCheck::Required},
          {folder + kDeviceLibraryName, RelaunchCheck::Required},
          {folder + L"QVUTchkdl.dll", RelaunchCheck::WhereEitherHas},
          {folder + L"config.ini", RelaunchCheck::Required}};
}

std::wstring FormatPxpcArguments(const std::wstring& driveText, const std::wstring& modelType,
                                 const std::wstring& modelName) {
  std::wstring arguments = L"-pxpc;";
  if (!driveText.empty()) arguments += driveText[0];
  arguments += L';';
  if (!modelType.empty()) arguments += ToUpperAscii(modelType[0]);
  arguments += L';';
  arguments += modelName;
  arguments += L';';
  return arguments;
}

}  // namespace qv::bootstrap
