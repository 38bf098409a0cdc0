// Country lookup and usage statistics against the update server.
#include "updateclient/usage_statistics.h"

#include <windows.h>

#include "updateclient/core/markup_reader.h"
#include "updateclient/core/service.h"
#include "updateclient/win/library_trace.h"
#include "updateclient/core/tool_check.h"
#include "updateclient/service_endpoints.h"
#include "updateclient/windows_library_pc.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

LocalDateTime Now() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  LocalDateTime now;
  now.year = t.wYear;
  now.month = t.wMonth;
  now.day = t.wDay;
  now.hour = t.wHour;
  now.minute = t.wMinute;
  now.second = t.wSecond;
  now.millisecond = t.wMilliseconds;
  return now;
}

}  // namespace

void GetCountryInfo(std::string& country, std::string& region) {
  CWindowsLibraryPc pc;
  LookUpCountry(pc, kServiceBaseUrl, country, region);
}

bool SendUsageLog(const std::string& historyId, const std::string& status) {
  std::string country, region;
  GetCountryInfo(country, region);
  std::string url = UsageLogUrl(kServiceBaseUrl, region, country, status, historyId,
                                DownloadTimeFor(status, historyId, Now()));
  std::string answer = HttpGetMarkup(url);
  if (answer.empty()) return false;
  CMarkupReader reader;
  reader.Parse(answer);
  return IsAcceptedAnswer(reader);
}

std::string ReportDownloadStep(const std::string& historyIdIn, const std::string& status, std::string& newHistoryId) {
  // Every report waits one second first. The download time of an "OK" is counted in whole seconds
  // from the time stamp of its "START", so even a package fetched at once reports at least 1 s
  // rather than 0, and the records of one run reach the service at least a second apart.
  ::Sleep(1000);
  bool accepted = false;
  if (status == "START") {
    newHistoryId = FormatHistoryId(historyIdIn, Now());
    UtTrace(newHistoryId);
    accepted = SendUsageLog(newHistoryId, status);
  } else if (status == "FAIL") {
    accepted = SendUsageLog(std::string(), status);
  } else if (status == "OK") {
    accepted = SendUsageLog(historyIdIn, status);
  }
  std::string result = accepted ? "MSG_SUCCESS" : "MSG_FAIL";
  UtTrace(result);
  return result;
}

}  // namespace qv::updateclient
