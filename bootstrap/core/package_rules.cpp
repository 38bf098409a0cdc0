// The online provisioning's decisions over texts and the file tests passed in.
#include "bootstrap/core/package_rules.h"

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {

std::wstring WithTrailingSlash(const std::wstring& url) {
  return !url.empty() && url.back() == L'/' ? url : url + L'/';
}

std::wstring PackageFolderIn(const std::wstring& baseFolder) {
  return baseFolder + L"\\" + kPackageFolderName + L"\\";
}

std::optional<std::wstring> PackageBaseUrl(const std::wstring& url) {
  if (url.find(L'/') == std::wstring::npos) return std::nullopt;
  return WithTrailingSlash(url);
}

const wchar_t* CheckFailureWord(const std::wstring& resultWord) {
  for (const wchar_t* word : {L"MSG_SERVER_CONN_ERROR", L"MSG_SERVER_FAIL", L"MSG_FUNCTION_FAIL"}) {
    if (resultWord.find(word) != std::wstring::npos) return word;
  }
  return L"UNKNOWN";
}

std::wstring FileNamePart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool AllPackageFilesPresent(const std::wstring& folder, const ListKeyReader& readKey, const FileTest& exists) {
  const int count = FileListCount(readKey(kFileCountKey));
  for (int i = 0; i < count; ++i) {
    const std::wstring name = readKey(FileListKey(i));
    if (!IsSafePackageFileName(name) || !exists(folder + name)) return false;
  }
  return true;
}

const wchar_t* ServerDriverNameKey(const std::wstring& preloadType) {
  return IsUnisonPreloadText(preloadType) ? L"driver_name" : L"driver_name_cbw_unison";
}

ServerDriverChoice ChooseServerDriver(const std::wstring& preloadType, const std::wstring& preloadDriver,
                                      const ListKeyReader& readKey) {
  if (EqualsNoCase(readKey(L"who_install_driver"), L"PXPC")) return {ServerDriverStep::PcToolInstalls, {}};
  std::wstring name = readKey(ServerDriverNameKey(preloadType));
  if (name.find(L'\\') != std::wstring::npos) return {ServerDriverStep::Refuse, name};
  if (EqualsNoCase(FileNamePart(preloadDriver), name)) return {ServerDriverStep::SameAsPreload, name};
  if (!IsSafePackageFileName(name)) return {ServerDriverStep::Refuse, name};
  return {ServerDriverStep::Download, name};
}

}  // namespace qv::bootstrap
