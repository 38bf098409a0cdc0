// The connectivity probe through WinINet.
#include "bootstrap/provisioning/connectivity.h"

#include <wininet.h>

#include <atomic>

#include "bootstrap/provisioning/connectivity_endpoint.h"
#include "bootstrap/provisioning/trace_log.h"

BOOL IsConnectedInternet() {
  // Decided once per run; a call during the probe sees the provisional TRUE.
  static std::atomic<int> probeDone{0};
  static std::atomic<BOOL> connected{0};
  WriteTraceLog(L"[IsConnectedInternet()] START.................\r\n");
  if (probeDone.exchange(1) != 0) return connected;
  connected = TRUE;
  connected = ::InternetCheckConnectionW(kConnectivityUrl, FLAG_ICC_FORCE_CONNECTION, 0) ? TRUE : FALSE;
  WriteTraceLog(connected ? L"[IsConnectedInternet()] Connect Check return (TRUE)......\r\n"
                          : L"[IsConnectedInternet()] Connect Check return (FALSE)......\r\n");
  WriteTraceLog(L"[IsConnectedInternet()] END.................\r\n");
  return connected;
}
