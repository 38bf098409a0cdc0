// The package download: the files of the PC tool package and, when the driver must be installed,
// the server's driver installer, fetched into the package folder one after the other, with the
// run reported to the update service's usage statistics before and after.
#include <algorithm>
#include <iterator>
#include <string>

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/package_rules.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/support.h"
#include "bootstrap/provisioning/update_client_library.h"
#include "bootstrap/provisioning/url_download.h"
#include "bootstrap/usb_autorun_dlg.h"

using namespace qv::bootstrap;

namespace {

constexpr int kProgressPackageBeforeDriver = 500;  // package files done, driver still to come
constexpr int kProgressDownloadsDone = 1000;

void TraceFailedFile(const std::wstring& name) {
  WriteTraceLog(FormatText(L"[DownloadPXPC_Package()] Fail of download file.....(%ls)\r\n", name.c_str()));
}

}  // namespace

BOOL CUSBAutoRunDlg::DownloadPackageFile(const std::wstring& baseUrl, const std::wstring& name,
                                         const wchar_t* cancelTrace) {
  // A name that would reach outside the package folder is neither deleted nor fetched, and
  // neither is anything through a package folder or file that is a link.
  if (!IsSafePackageFileName(name) || !IsFreeOfLinks(m_strDownloadPath, name)) {
    TraceFailedFile(name);
    return FALSE;
  }
  DeleteFileEvenReadOnly(m_strDownloadPath + name);  // a failed run leaves it absent
  if (m_bUserCancel) {
    WriteTraceLog(cancelTrace);
    return FALSE;
  }
  // A package file may take long, but never a minute without data. Cancel stops the transfer
  // under way, and is then the user's cancel rather than a failed file.
  if (!DownloadUrlToFile(baseUrl + name, m_strDownloadPath + name, qv::bootstrap::DownloadLimits{}, &m_bUserCancel)) {
    if (m_bUserCancel) {
      WriteTraceLog(cancelTrace);
    } else {
      TraceFailedFile(name);
    }
    return FALSE;
  }
  return TRUE;
}

BOOL CUSBAutoRunDlg::DownloadPackageFiles(const std::wstring& baseUrl) {
  int count = FileListCount(GetIniString(m_strServerConfigFile, L"FILES_PXPC", kFileCountKey));
  for (int i = 0; i < count; ++i) {
    std::wstring name = GetIniString(m_strServerConfigFile, L"FILES_PXPC", FileListKey(i));
    if (!DownloadPackageFile(baseUrl, name, L"[DownloadPXPC_Package()] User Cancel (1)\r\n")) return FALSE;
  }
  RaiseProgress(m_bRequireDrv == 1 ? kProgressPackageBeforeDriver : kProgressDownloadsDone);
  return TRUE;
}

BOOL CUSBAutoRunDlg::DownloadServerDriver(const std::wstring& baseUrl, bool& endReportDue) {
  auto readKey = [this](const std::wstring& key) { return GetIniString(m_strServerConfigFile, L"FILES_DRIVER", key); };
  ServerDriverChoice choice = ChooseServerDriver(m_strPreloadType, m_strPreloadDriver, readKey);
  switch (choice.step) {
    case ServerDriverStep::PcToolInstalls:
      m_bPxpcInstallsDriver = 1;
      return TRUE;
    case ServerDriverStep::SameAsPreload:
      WriteTraceLog(L"Server and preload is same\r\n");
      m_bPreloadSame = 1;
      endReportDue = true;
      RaiseProgress(kProgressDownloadsDone);
      return TRUE;
    case ServerDriverStep::Refuse:
      TraceFailedFile(choice.name);
      return FALSE;
    case ServerDriverStep::Download:
      break;
  }
  if (!DownloadPackageFile(baseUrl, choice.name, L"[DownloadPXPC_Package()] User Cancel (2)\r\n")) return FALSE;
  m_strDriverPath = m_strDownloadPath + choice.name;
  RaiseProgress(kProgressDownloadsDone);
  return TRUE;
}

BOOL CUSBAutoRunDlg::DownloadPXPC_Package() {
  WriteTraceLog(L"[DownloadPXPC_Package()] START...................\r\n");
  if (m_strServerConfigFile.empty()) {
    WriteTraceLog(L"[DownloadPXPC_Package()] ServerConfigFile name is empty......\r\n");
    return FALSE;
  }
  if (m_strDownloadURL.empty()) {
    WriteTraceLog(L"[DownloadPXPC_Package()] Download URL is empty.........\r\n");
    return FALSE;
  }
  if (m_strDownloadPath.empty()) {
    WriteTraceLog(L"[DownloadPXPC_Package()] Download PC path is empty.........\r\n");
    return FALSE;
  }
  const std::wstring baseUrl = WithTrailingSlash(m_strDownloadURL);

  qv::UniqueModule library;
  auto report = OpenUpdateClientExport<UpdateGBCforSyncProc>(
      library, m_strModulePath, PhoneFolder(), "UpdateGBCforSync",
      L"[DownloadPXPC_Package()] LoadLibrary(QVUTchkdl.dll) failed.........\r\n",
      L"[DownloadPXPC_Package()] Library function failed.........\r\n");
  if (!report) return FALSE;
  char historyId[QVUT_HISTORY_ID_BUFFER_BYTES] = {};
  char message[QVUT_RESULT_BUFFER_BYTES] = {};
  bool endReportDue = false;
  try {
    endReportDue = report("", "START", historyId, message) == 1;
  } catch (...) {
    WriteTraceLog(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync(1) Failed. (try...catch)\r\n");
    return FALSE;
  }
  historyId[sizeof(historyId) - 1] = '\0';

  BOOL succeeded = TRUE;
  if (m_bRequireUpPxpc == 1) succeeded = DownloadPackageFiles(baseUrl);
  if (succeeded && m_bRequireDrv == 1) succeeded = DownloadServerDriver(baseUrl, endReportDue);

  if (endReportDue) {
    WriteTraceLog(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.\r\n");
    std::fill(std::begin(message), std::end(message), '\0');
    char noNewId[1] = "";  // the end report asks for no new history id
    try {
      bool ended = report(historyId, succeeded ? "OK" : "FAIL", noNewId, message) == 1;
      WriteTraceLog(ended ? L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.\r\n"
                          : L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Failed.\r\n");
    } catch (...) {
      WriteTraceLog(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync(2) Failed. (try...catch)\r\n");
    }
  } else {
    WriteTraceLog(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Failed.\r\n");
  }
  WriteTraceLog(L"[DownloadPXPC_Package()] END...(TRUE)................\r\n");
  return succeeded;
}
