// The driver manager's decisions: the phone's installer and its family, whether a family is
// installed, whether its files are older than announced, whether the driver must be installed or
// updated, and which installer to run how. The file system and the configuration files are
// reached through the functions passed in.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv::bootstrap {

using PathTest = std::function<bool(const std::wstring& path)>;
using KeyReader = std::function<std::wstring(const std::wstring& key)>;
using FileVersionReader = std::function<std::wstring(const std::wstring& path)>;

// The phone's driver installer as config.ini names it (`preload`, relative to the phone's root and
// to the program's folder, and `preload_type`).
struct PreloadDriver {
  std::wstring path;   // beside the program; empty when the phone names none
  int type = 0;        // the family; an unknown text leaves the family known before
  bool unison = false;  // "unison" exactly: the run's preload type text becomes "unison"
};

// A `preload` name that leaves the program's folder or names a device counts as none.
std::wstring SafePreloadName(const std::wstring& preload);

// The installer beside the program (`programFolder` with its final backslash) and its family.
PreloadDriver FindPreloadDriver(const std::wstring& programFolder, const std::wstring& preload,
                                const std::wstring& preloadType, int currentType);

// True when neither folder\name32 nor folder\name64 exists.
bool IsDriverPairMissing(const std::wstring& folder, const std::wstring& name32,
                         const std::wstring& name64, const PathTest& exists);

// One look at one folder: how many of the family's pairs are missing there.
struct DriverFolderCount {
  std::wstring folder;
  int missing;
};

struct InstalledDriverCheck {
  bool installed = false;
  // The folder, then its variant; no pass at all when Program Files is unknown.
  std::vector<DriverFolderCount> passes;
};

// The family counts as installed when its folder or the folder's variant misses no pair.
InstalledDriverCheck CheckInstalledDriver(const std::wstring& programFiles, int type,
                                          const PathTest& exists);

// The separate families modem, Android, ZodavozUro, asked in that order up to the first yes.
bool IsAnySeparateDriverInstalled(const std::function<bool(int type)>& isInstalled);

// The family whose files must be there after an installation: online the unison family when the
// phone carries it, else the CBW unison family; offline the phone's own family.
int CurrentDriverType(bool online, int preloadType);

// True when an installed driver file is older than the version announced for it. For each of the
// family's three version keys with a value (`readKey` reads the right file and section), the
// installed version is that of folder\file, else of the folder variant's file. A configured file
// that is in neither folder counts as outdated, whatever its place in the list: the driver that
// should carry it is not really there. No configured version at all gives false.
bool IsDriverVersionOutdated(int type, const std::wstring& driverFolder, const KeyReader& readKey,
                             const PathTest& exists, const FileVersionReader& fileVersion);

// The file-system questions behind the install-or-update decision, asked only as far as needed.
struct DriverQueries {
  std::function<bool(int type)> isInstalled;
  std::function<bool(int type, bool online)> isOutdated;
};

// True when the driver must be installed or updated. Offline without a driver on the phone there
// is nothing to install with. With a separate family installed: online, `unison_overwrite`
// forces the update; offline, a combined package on the phone replaces it, otherwise only older
// files of the phone's family call for an update. Otherwise the unison family (when the phone
// carries it) or the CBW unison family must be installed and current.
bool DecideRequireUpDrv(bool online, int preloadType, bool unisonOverwrite,
                        const DriverQueries& queries);

enum class DriverInstallerSource { Server, Preload, None };

// Online the installer downloaded from the server, unless it is the one the phone carries; else
// the phone's installer, when there is one; else none.
DriverInstallerSource ChooseDriverInstaller(bool online, bool preloadSame,
                                            const std::wstring& preloadDriver);

// An installer path needs at least four characters to name anything.
bool IsUsableInstallerPath(const std::wstring& path);

// An MSI package: the path ends in "msi" in any letter case.
bool IsMsiPackage(const std::wstring& path);

constexpr wchar_t kMsiexec[] = L"msiexec.exe";
constexpr wchar_t kMsiRemove[] = L"/x";
constexpr wchar_t kMsiInstall[] = L"/i";

// "<option> \"<path>\" /qn": a quiet msiexec run on the package.
std::wstring FormatMsiexecParameters(const std::wstring& option, const std::wstring& path);

// How an installer is started: a setup program as itself without arguments; an MSI package by
// the system's msiexec, taken by its full path (a bare name could be found in the working folder,
// which holds downloaded files), quietly with `option`. Either in the installer's folder. No
// program (nothing starts) when msiexec is asked for and the system folder is unknown.
struct InstallerCommand {
  std::wstring program;
  std::wstring arguments;
  std::wstring folder;
};
InstallerCommand InstallerCommandOf(const std::wstring& systemFolder, const std::wstring& path,
                                    const std::wstring& option, bool msi);

}  // namespace qv::bootstrap
