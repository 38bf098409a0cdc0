// The update check: the update service names the current PC tool package, the package's
// serverconfig.ini is downloaded into the user's base folder, and the package on the PC is
// compared with it by version and by the presence of every listed file.
#include <cstring>
#include <string>

#include "bootstrap/core/package_rules.h"
#include "bootstrap/core/version_text.h"
#include "bootstrap/provisioning/support.h"
#include "bootstrap/provisioning/update_client_library.h"
#include "bootstrap/provisioning/url_download.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "common/win/ansi_text.h"

using namespace qv::bootstrap;

namespace {

constexpr size_t kFlagBufferBytes = 20;  // the test flag and the test version

// serverconfig.ini is small: a server that takes longer than this for it, or falls silent, has
// failed the check (the program waits without a window meanwhile).
constexpr qv::bootstrap::DownloadLimits kServerConfigLimits{60000, 60000};

bool IsFolder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Asks the update service for the package's base URL; empty text when it named none. The library
// is released before this returns.
bool QueryPackageUrl(const std::wstring& programFolder, const std::wstring& phoneFolder, const std::string& testVersion,
                     std::wstring& url) {
  qv::UniqueModule library;
  auto checkPxpc = OpenUpdateClientExport<CheckPXPCProc>(library, programFolder, phoneFolder, "CheckPXPC",
                                                         L"[IsRequireUpPXPC()] LoadLibrary is failed..\r\n",
                                                         L"[IsRequireUpPXPC()] GetProcAddress(CheckPXPC) is failed..\r\n");
  if (!checkPxpc) return false;
  char testFlag[kFlagBufferBytes] = "TRUE";
  char version[kFlagBufferBytes] = {};
  testVersion.copy(version, sizeof(version) - 1);
  char downloadUrl[QVUT_URL_BUFFER_BYTES] = {};
  char recommendedUrl[QVUT_URL_BUFFER_BYTES] = {};
  char resultWord[QVUT_RESULT_BUFFER_BYTES] = {};
  int named = 0;
  try {
    named = checkPxpc(testFlag, version, downloadUrl, recommendedUrl, resultWord);
  } catch (...) {
    WriteTraceLog(L"[IsRequireUpPXPC()] pFuncChkPXPC Error.(try..catch)\r\n");
    return false;
  }
  library.reset();
  std::wstring word = qv::FromAnsi(resultWord, ::strnlen(resultWord, sizeof(resultWord)));
  if (named == 0) {
    WriteTraceLog(FormatText(L"[IsRequireUpPXPC()] CheckPXPC return MSG is (%ls).......\r\n", CheckFailureWord(word)));
    WriteTraceLog(L"[IsRequireUpPXPC()] CheckPXPC return is FALSE.......\r\n");
    return false;
  }
  url = qv::FromAnsi(downloadUrl, ::strnlen(downloadUrl, sizeof(downloadUrl)));
  return true;
}

}  // namespace

BOOL CUSBAutoRunDlg::GetServerConfig() {
  if (!IsConnectedInternet()) return FALSE;
  auto fetch = [this]() -> bool {
    std::wstring base = GetBaseFolder();
    if (base.empty()) {
      WriteTraceLog(L"[IsRequireUpPXPC()] PX_PC Download PC Path find failed.......\r\n");
      return false;
    }
    m_strDownloadPath = PackageFolderIn(base);
    std::wstring folder = m_strDownloadPath.substr(0, m_strDownloadPath.size() - 1);
    // Nothing is created or written through a base folder that is a link.
    if (!IsFolder(folder) && (!IsFreeOfLinks(base) || !::CreateDirectoryW(folder.c_str(), nullptr))) {
      WriteTraceLog(L"[IsRequireUpPXPC()] Create failed PX_PC Download PC Path.......\r\n");
      return false;
    }
    std::wstring localConfig = base + L"\\serverconfig.ini";
    // A test version that does not fit the library's buffer would ask for some other version.
    std::string testVersion = qv::ToAnsi(m_strPxpcTestVer);
    if (testVersion.size() >= kFlagBufferBytes) {
      WriteTraceLog(L"[IsRequireUpPXPC()] Test version is too long.......\r\n");
      return false;
    }
    std::wstring named;
    if (!QueryPackageUrl(m_strModulePath, PhoneFolder(), testVersion, named)) return false;
    std::optional<std::wstring> url = PackageBaseUrl(named);
    if (!url) {
      WriteTraceLog(L"[IsRequireUpPXPC()] PX_PC Download URL is not valid.......\r\n");
      return false;
    }
    m_strDownloadURL = *url;
    if (!IsFreeOfLinks(base, L"serverconfig.ini") ||
        !DownloadUrlToFile(m_strDownloadURL + L"serverconfig.ini", localConfig, kServerConfigLimits)) {
      WriteTraceLog(L"[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......\r\n");
      return false;
    }
    m_strServerConfigFile = localConfig;
    return true;
  };
  if (fetch()) return TRUE;
  m_bAbnormalStatus = 1;
  return FALSE;
}

BOOL CUSBAutoRunDlg::IsRequireUpPXPC() {
  WriteTraceLog(L"[IsRequireUpPXPC()] START..............\r\n");
  if (!IsConnectedInternet()) return FALSE;
  std::wstring serverVersion = GetIniString(m_strServerConfigFile, L"PXPACKAGE", L"pack_version");
  std::wstring localConfig = m_strDownloadPath + L"pxpcconfig.ini";
  if (!IsExistFile(localConfig)) return TRUE;  // nothing installed yet
  std::wstring localVersion = GetIniString(localConfig, L"PXPACKAGE", L"pack_version");
  bool newer = IsNewerVersion(localVersion, serverVersion);
  WriteTraceLog(L"[IsRequireUpPXPC()] END..............\r\n");
  if (newer) return TRUE;
  return HasAllPackageFiles() ? FALSE : TRUE;
}

bool CUSBAutoRunDlg::HasAllPackageFiles() const {
  auto readKey = [this](const std::wstring& key) { return GetIniString(m_strServerConfigFile, L"FILES_PXPC", key); };
  return AllPackageFilesPresent(m_strDownloadPath, readKey, [](const std::wstring& path) { return IsExistFile(path) != 0; });
}
