// The tool check's decisions and trace lines; every request goes through the LibraryPc.
#include "updateclient/core/tool_check.h"

#include "updateclient/core/markup_reader.h"
#include "updateclient/core/service.h"

namespace qv::updateclient {

namespace {

enum class ListAnswer { kRead, kEmpty, kRejected };

// Requests one software list and runs the PC tool scan on it.
ListAnswer ScanList(LibraryPc& pc, const std::string& url, PcToolRelease& release, std::string& result) {
  const std::string answer = pc.GetMarkup(url);
  if (answer.empty()) return ListAnswer::kEmpty;
  CMarkupReader reader;
  reader.Parse(answer);
  if (!IsAcceptedAnswer(reader)) {
    // An error status, noted by the request, says more than the answer it came with.
    if (pc.FailureCause().empty()) pc.NoteFailureCause("GET " + url + " answered a result the service did not mark OK");
    return ListAnswer::kRejected;
  }
  if (ScanForPcTool(reader.FindAll("sw_version"), reader.FindAll("sw_uri"), reader.FindAll("sw_recommand_uri"),
                    release)) {
    result = "MSG_SUCCESS";
    pc.Trace(result);
  }
  return ListAnswer::kRead;
}

PcToolCheck Failed(LibraryPc& pc, const std::string& result) {
  pc.Trace(result);
  PcToolCheck check;
  check.resultWord = result;
  return check;
}

const char* FailureWord(ListAnswer answer) {
  return answer == ListAnswer::kEmpty ? "MSG_SERVER_FAIL" : "MSG_FUNCTION_FAIL";
}

}  // namespace

void LookUpCountry(LibraryPc& pc, const std::string& baseUrl, std::string& country, std::string& region) {
  const std::string localeCode = ServerCountryCode(pc.LocaleCountryCode());
  const std::string answer = pc.GetMarkup(CountryInfoUrl(baseUrl));
  if (answer.empty()) return;
  CMarkupReader reader;
  reader.Parse(answer);
  if (!IsAcceptedAnswer(reader)) return;
  PickCountry(reader.FindAll("country_code"), reader.FindAll("country_isocode"), reader.FindAll("region_code"),
              localeCode, country, region);
}

PcToolCheck CheckPcToolRelease(LibraryPc& pc, const ServiceEndpoints& service, const std::string& testFlag,
                               const std::string& version) {
  pc.Trace("**************************************");
  pc.Trace("UTSetup Function call Start");
  pc.Trace("server connect check....");
  if (!pc.IsServerReachable(service.probeHost)) return Failed(pc, "MSG_SERVER_CONN_ERROR");

  std::string region, country;
  LookUpCountry(pc, service.baseUrl, country, region);

  std::string url;
  if (!version.empty()) {
    pc.Trace("Search URL by version...");
    url = testFlag == "TRUE" ? SoftwareTestingUrl(service.baseUrl, "T", "GO", version)
                             : SoftwareTestingUrl(service.baseUrl, region, country, version);
  } else {
    pc.Trace("Search URL...");
    url = SoftwareListUrl(service.baseUrl, region, country);
  }

  PcToolRelease release;
  std::string result;
  ListAnswer answer = ScanList(pc, url, release, result);
  if (answer != ListAnswer::kRead) return Failed(pc, FailureWord(answer));

  if (!release.Complete()) {
    pc.Trace("URL empty...");
    pc.Trace("Search Global URL...");
    answer = ScanList(pc, SoftwareListUrl(service.baseUrl, "T", "GO"), release, result);
    // The global list's empty answer is traced at once, and once more by the failure's exit.
    if (answer == ListAnswer::kEmpty) pc.Trace(FailureWord(answer));
    if (answer != ListAnswer::kRead) return Failed(pc, FailureWord(answer));
  }
  if (!release.Complete()) pc.NoteFailureCause("no list of the service names a complete PC tool package");

  PcToolCheck check;
  check.found = true;
  check.resultWord = result;
  check.downloadUrl = release.downloadUrl;
  check.recommendedUrl = release.recommendedUrl;
  return check;
}

}  // namespace qv::updateclient
