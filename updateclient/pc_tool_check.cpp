// Probe, country lookup, the regular or testing list, and the global list as a fallback when the
// first list has no complete PC tool item.
#include "updateclient/pc_tool_check.h"

#include "updateclient/core/markup_reader.h"
#include "updateclient/core/service.h"
#include "updateclient/service_endpoints.h"
#include "updateclient/usage_statistics.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

enum class ListAnswer { kRead, kEmpty, kRejected };

// Requests one software list and runs the PC tool scan on it.
ListAnswer ScanList(const std::string& url, PcToolRelease& release, std::string& result) {
  std::string answer = HttpGetMarkup(url);
  if (answer.empty()) return ListAnswer::kEmpty;
  CMarkupReader reader;
  reader.Parse(answer);
  if (!IsAcceptedAnswer(reader)) {
    // An error status, noted by the request, says more than the answer it came with.
    if (FailureCause().empty()) NoteFailureCause("GET " + url + " answered a result the service did not mark OK");
    return ListAnswer::kRejected;
  }
  if (ScanForPcTool(reader.FindAll("sw_version"), reader.FindAll("sw_uri"), reader.FindAll("sw_recommand_uri"),
                    release)) {
    result = "MSG_SUCCESS";
    UtTrace(result);
  }
  return ListAnswer::kRead;
}

PcToolCheck Failed(const std::string& result) {
  UtTrace(result);
  PcToolCheck check;
  check.strResult = result;
  return check;
}

const char* FailureWord(ListAnswer answer) {
  return answer == ListAnswer::kEmpty ? "MSG_SERVER_FAIL" : "MSG_FUNCTION_FAIL";
}

}  // namespace

PcToolCheck CheckPcToolRelease(const std::string& testFlag, const std::string& version) {
  UtTrace("**************************************");
  UtTrace("UTSetup Function call Start");
  UtTrace("server connect check....");
  if (!IsServerReachable(kProbeHost)) return Failed("MSG_SERVER_CONN_ERROR");

  std::string region, country;
  GetCountryInfo(country, region);

  std::string url;
  if (!version.empty()) {
    UtTrace("Search URL by version...");
    url = testFlag == "TRUE" ? SoftwareTestingUrl(kServiceBaseUrl, "T", "GO", version)
                             : SoftwareTestingUrl(kServiceBaseUrl, region, country, version);
  } else {
    UtTrace("Search URL...");
    url = SoftwareListUrl(kServiceBaseUrl, region, country);
  }

  PcToolRelease release;
  std::string result;
  ListAnswer answer = ScanList(url, release, result);
  if (answer != ListAnswer::kRead) return Failed(FailureWord(answer));

  if (!release.Complete()) {
    UtTrace("URL empty...");
    UtTrace("Search Global URL...");
    answer = ScanList(SoftwareListUrl(kServiceBaseUrl, "T", "GO"), release, result);
    if (answer != ListAnswer::kRead) return Failed(FailureWord(answer));
  }
  if (!release.Complete()) NoteFailureCause("no list of the service names a complete PC tool package");

  PcToolCheck check;
  check.bFound = true;
  check.strResult = result;
  check.strDownloadUrl = release.downloadUrl;
  check.strRecommendedUrl = release.recommendedUrl;
  return check;
}

}  // namespace qv::updateclient
