// The choice of the device library's folder, the verdict on the PC start's copy, and the trace line
// of a library the process does not use.
#include "bootstrap/core/device_library_source.h"

#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {
namespace {

// The folder part of the program's path, with its backslash; empty when the path has none.
std::wstring ProgramFolderOf(const std::wstring& programPath) {
  const size_t slash = programPath.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash + 1);
}

// "E:\" and nothing else: no sub-folder, no "\\?\" prefix, no share.
bool IsDriveRoot(const std::wstring& folder) {
  return folder.size() == 3 && IsAsciiLetter(folder[0]) && folder[1] == L':' && folder[2] == L'\\';
}

// `before` + `detail` + `after`: every text of a refusal, put together in one place.
std::wstring Phrase(const wchar_t* before, const std::wstring& detail, const wchar_t* after) {
  std::wstring text(before);
  text += detail;
  text += after;
  return text;
}

DeviceLibraryChoice Refused(std::wstring library, std::wstring reason) {
  DeviceLibraryChoice choice;
  choice.library = std::move(library);
  choice.reason = std::move(reason);
  return choice;
}

}  // namespace

DeviceLibraryChoice ChooseDeviceLibrary(const std::wstring& programPath, const std::wstring& launchDrive,
                                        const DeviceLibraryQueries& queries) {
  const std::wstring folder = ProgramFolderOf(programPath);
  const std::wstring library = folder + kDeviceLibraryName;
  if (folder.empty()) return Refused(library, L"the program's folder is unknown");

  // What lies on a CD-ROM drive cannot be changed by any program of the user.
  const bool root = IsDriveRoot(folder);
  if (root && queries.isCdRom(folder)) {
    DeviceLibraryChoice choice;
    choice.way = DeviceLibraryWay::PhoneRoot;
    choice.library = library;
    return choice;
  }
  if (launchDrive.empty()) {
    return Refused(library, root ? Phrase(L"[", folder, L"] is not a CD-ROM drive")
                                 : L"the program's folder is not a drive's root");
  }

  // The PC start: its folder is open to every program of the user, so the copy there counts only
  // where the phone start put it, and only as long as it holds the bytes of the phone's library.
  const wchar_t letter = launchDrive[0];
  if (!IsAsciiLetter(letter)) return Refused(library, Phrase(L"the launch drive [", launchDrive, L"] is no drive letter"));
  const std::wstring base = queries.baseFolder();
  if (base.empty()) return Refused(library, L"the relaunch folder is unknown");
  const std::wstring relaunchFolder = FormatPackageFolder(base, letter);
  if (!EqualsNoCase(folder, relaunchFolder)) {
    return Refused(library, Phrase(L"the program's folder is not the relaunch folder [", relaunchFolder, L"]"));
  }
  const std::wstring phoneRoot = FormatDriveRoot(letter);
  if (!queries.isCdRom(phoneRoot)) {
    return Refused(library, Phrase(L"the launch drive [", phoneRoot, L"] is not a CD-ROM drive"));
  }
  DeviceLibraryChoice choice;
  choice.way = DeviceLibraryWay::PhonesCopy;
  choice.library = library;
  choice.phoneLibrary = phoneRoot + kDeviceLibraryName;
  return choice;
}

std::wstring CopyProofRefusal(const CopyProof& proof, const std::wstring& phoneLibrary) {
  if (!proof.copyHeld) return LoadErrorRefusal(L"the copy cannot be held", proof.copyError);
  if (!proof.phoneHeld) {
    return LoadErrorRefusal(Phrase(L"the phone's library [", phoneLibrary, L"] cannot be held").c_str(),
                            proof.phoneError);
  }
  if (!proof.sameBytes) return Phrase(L"not the bytes of the phone's library [", phoneLibrary, L"]");
  return std::wstring();
}

std::wstring LoadErrorRefusal(const wchar_t* what, unsigned error) {
  std::wstring text(what);
  text += L" (error ";
  text += DecimalText(error);
  text += L")";
  return text;
}

std::wstring MissingExportRefusal(const char* name) {
  std::wstring text = L"no export ";
  for (const char* c = name; *c != '\0'; ++c) text += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return text;
}

std::wstring FormatDeviceLibraryRefusal(const std::wstring& library, const std::wstring& reason) {
  std::wstring line = Phrase(L"[", kDeviceLibraryName, L"] [");
  line += library;
  line += L"] not loaded: ";
  line += reason;
  line += L"\r\n";
  return line;
}

}  // namespace qv::bootstrap
