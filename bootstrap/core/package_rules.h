// Decisions of the online provisioning that need no system call: the package's base URL, which
// failure a failed update check reports, whether the package's files are all on the PC, and what
// to do about the driver installer the server names.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qv::bootstrap {

// The PC tool's package lives in this folder of the user's base folder.
constexpr wchar_t kPackageFolderName[] = L"PXPC";

// "<base>\PXPC\": the package folder, with its final backslash.
std::wstring PackageFolderIn(const std::wstring& baseFolder);

// The package's base URL as downloads use it: nothing when the text holds no "/" at all (it
// cannot name a place on a server), else the text with a "/" appended unless it ends in one.
std::optional<std::wstring> PackageBaseUrl(const std::wstring& url);

// The text with a "/" appended unless it already ends in one.
std::wstring WithTrailingSlash(const std::wstring& url);

// The failure word of an update check that named no package: the first of
// MSG_SERVER_CONN_ERROR, MSG_SERVER_FAIL and MSG_FUNCTION_FAIL that the result word contains,
// else UNKNOWN.
const wchar_t* CheckFailureWord(const std::wstring& resultWord);

// The text behind the last backslash; the whole text when it has none.
std::wstring FileNamePart(const std::wstring& path);

using ListKeyReader = std::function<std::wstring(const std::wstring& key)>;
using FileTest = std::function<bool(const std::wstring& path)>;

// True when every file of the package list (count key and file00, file01, ... read through
// `readKey`) exists in `folder` (which ends in a backslash). A name that would leave the folder
// never counts as present: it cannot be part of the package, and the download that follows
// refuses it visibly.
bool AllPackageFilesPresent(const std::wstring& folder, const ListKeyReader& readKey, const FileTest& exists);

// The key of serverconfig.ini's FILES_DRIVER section that names the driver installer:
// driver_name when the phone carries the combined package ("unison", letter case included),
// else driver_name_cbw_unison.
const wchar_t* ServerDriverNameKey(const std::wstring& preloadType);

enum class ServerDriverStep {
  PcToolInstalls,  // who_install_driver is "PXPC": nothing to download
  SameAsPreload,   // the server names the installer the phone carries: it is used instead
  Download,        // fetch the named installer into the package folder
  Refuse,          // the name is not a plain file inside the package folder: a failed download
};

struct ServerDriverChoice {
  ServerDriverStep step;
  std::wstring name;  // the driver name as the server gave it (empty for PcToolInstalls)
};

// What to do about the driver installer. `readKey` reads FILES_DRIVER of serverconfig.ini;
// `preloadDriver` is the full path of the phone's installer, empty when it has none (an empty
// server name then matches it). A server name with a backslash is refused outright, so that
// no part of it is ever taken for a file name; so is any name that would leave the folder.
ServerDriverChoice ChooseServerDriver(const std::wstring& preloadType, const std::wstring& preloadDriver,
                                      const ListKeyReader& readKey);

}  // namespace qv::bootstrap
