// The USB driver families: how the phone's configuration names them, the folder each installs
// under Program Files, the driver files that show it is installed, and the keys that announce the
// minimum version of its files.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace qv::bootstrap {

constexpr int kDriverNone = 0;
constexpr int kDriverUnison = 1;
constexpr int kDriverCbwUnison = 2;
constexpr int kDriverModem = 3;
constexpr int kDriverAndroid = 4;
constexpr int kDriverZodavozUro = 5;

constexpr wchar_t kUnisonPreloadType[] = L"unison";

// The family named by a `preload_type` value in any letter case; any other value leaves
// `currentType` as it is.
int PreloadTypeFromText(const std::wstring& preloadType, int currentType);

// "unison" exactly, letter case included: the phone carries the combined driver package.
bool IsUnisonPreloadText(const std::wstring& preloadType);

// "\QV Electronics\..." of a family; empty for any other type.
const wchar_t* DriverSubFolder(int type);

// Program Files followed by the family's folder. Empty when Program Files is unknown, so that
// nothing is looked for relative to the current drive.
std::wstring GetDriverFolder(const std::wstring& programFiles, int type);

// A driver may also be installed in the folder's variant with a letter s appended
// ("...Driver" becomes "...Drivers", "...Drivers" becomes "...Driverss").
std::wstring DriverFolderVariant(const std::wstring& folder);

// A 32-bit driver file and its 64-bit counterpart; either one present counts.
struct DriverFilePair {
  const wchar_t* name32;
  const wchar_t* name64;
};

// Every pair whose presence shows the family installed; none for an unknown type.
std::vector<DriverFilePair> DriverFilePairs(int type);

// The key that gives the minimum version of one driver file, and that file's (32-bit) name.
struct DriverVersionKey {
  const wchar_t* key;
  const wchar_t* fileName;
};

// The three version keys of a family, in the order they are checked: the plain keys for the
// unison family, the "cb_" keys for every other type.
std::array<DriverVersionKey, 3> DriverVersionKeys(int type);

// Where the version keys are read: section FILES_DRIVER of serverconfig.ini online, section
// DRIVER of config.ini offline.
const wchar_t* DriverVersionSection(bool online);

}  // namespace qv::bootstrap
