// Driver installation state and the install-or-update decision.
#include "bootstrap/core/driver_decisions.h"

#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/text_util.h"
#include "bootstrap/core/version_text.h"

namespace qv::bootstrap {
namespace {

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
  return folder + L'\\' + name;
}

int CountMissingPairs(const std::wstring& folder, const std::vector<DriverFilePair>& pairs,
                      const PathTest& exists) {
  int missing = 0;
  for (const DriverFilePair& pair : pairs) {
    if (IsDriverPairMissing(folder, pair.name32, pair.name64, exists)) ++missing;
  }
  return missing;
}

}  // namespace

std::wstring SafePreloadName(const std::wstring& preload) {
  return IsSafePackageFileName(preload) ? preload : std::wstring();
}

PreloadDriver FindPreloadDriver(const std::wstring& programFolder, const std::wstring& preload,
                                const std::wstring& preloadType, int currentType) {
  PreloadDriver found;
  found.type = currentType;
  const std::wstring name = SafePreloadName(preload);
  if (name.empty()) return found;
  found.path = programFolder + name;
  found.type = PreloadTypeFromText(preloadType, currentType);
  found.unison = IsUnisonPreloadText(preloadType);
  return found;
}

bool IsDriverPairMissing(const std::wstring& folder, const std::wstring& name32,
                         const std::wstring& name64, const PathTest& exists) {
  return !exists(InFolder(folder, name32)) && !exists(InFolder(folder, name64));
}

InstalledDriverCheck CheckInstalledDriver(const std::wstring& programFiles, int type,
                                          const PathTest& exists) {
  InstalledDriverCheck check;
  if (programFiles.empty()) return check;
  const std::wstring folder = GetDriverFolder(programFiles, type);
  const std::vector<DriverFilePair> pairs = DriverFilePairs(type);
  for (const std::wstring& candidate : {folder, DriverFolderVariant(folder)}) {
    const int missing = CountMissingPairs(candidate, pairs, exists);
    check.passes.push_back({candidate, missing});
    if (missing == 0) check.installed = true;
  }
  return check;
}

bool IsAnySeparateDriverInstalled(const std::function<bool(int type)>& isInstalled) {
  return isInstalled(kDriverModem) || isInstalled(kDriverAndroid) || isInstalled(kDriverZodavozUro);
}

int CurrentDriverType(bool online, int preloadType) {
  if (!online) return preloadType;
  return preloadType == kDriverUnison ? kDriverUnison : kDriverCbwUnison;
}

bool IsDriverVersionOutdated(int type, const std::wstring& driverFolder, const KeyReader& readKey,
                             const PathTest& exists, const FileVersionReader& fileVersion) {
  for (const DriverVersionKey& entry : DriverVersionKeys(type)) {
    const std::wstring configured = readKey(entry.key);
    if (configured.empty()) continue;
    if (driverFolder.empty()) return true;
    const std::wstring path = InFolder(driverFolder, entry.fileName);
    const std::wstring variant = InFolder(DriverFolderVariant(driverFolder), entry.fileName);
    std::wstring installed;
    if (exists(path)) {
      installed = fileVersion(path);
    } else if (exists(variant)) {
      installed = fileVersion(variant);
    } else {
      return true;
    }
    if (IsNewerVersion(installed, configured)) return true;
  }
  return false;
}

bool DecideRequireUpDrv(bool online, int preloadType, bool unisonOverwrite,
                        const DriverQueries& queries) {
  if (!online && preloadType == kDriverNone) return false;
  if (IsAnySeparateDriverInstalled(queries.isInstalled)) {
    if (!online) {
      if (preloadType == kDriverUnison || preloadType == kDriverCbwUnison) return true;
      return queries.isOutdated(preloadType, false);
    }
    if (unisonOverwrite) return true;
  }
  const int target = preloadType == kDriverUnison ? kDriverUnison : kDriverCbwUnison;
  if (!queries.isInstalled(target)) return true;
  return queries.isOutdated(target, online);
}

DriverInstallerSource ChooseDriverInstaller(bool online, bool preloadSame,
                                            const std::wstring& preloadDriver) {
  if (online && !preloadSame) return DriverInstallerSource::Server;
  if (!preloadDriver.empty() || preloadSame) return DriverInstallerSource::Preload;
  return DriverInstallerSource::None;
}

bool IsUsableInstallerPath(const std::wstring& path) { return path.size() >= 4; }

bool IsMsiPackage(const std::wstring& path) { return EndsWithNoCase(path, L"msi"); }

std::wstring FormatMsiexecParameters(const std::wstring& option, const std::wstring& path) {
  return option + L" \"" + path + L"\" /qn";
}

InstallerCommand InstallerCommandOf(const std::wstring& systemFolder, const std::wstring& path,
                                    const std::wstring& option, bool msi) {
  InstallerCommand command;
  command.folder = FolderOfPath(path);
  if (!msi) {
    command.program = path;
    return command;
  }
  if (!systemFolder.empty()) command.program = systemFolder + L'\\' + kMsiexec;
  command.arguments = FormatMsiexecParameters(option, path);
  return command;
}

}  // namespace qv::bootstrap
