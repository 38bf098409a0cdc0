// The tool check on a scripted PC: the probe, the country lookup, which list is asked for, the
// global fallback and the result words, with every request and trace line in order.
#include "updateclient/core/tool_check.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tests/native/updateclient/scripted_library_pc.h"
#include "updateclient/core/service.h"

using namespace qv::updateclient;
using qv::updateclient::testing::ScriptedLibraryPc;
using Events = std::vector<std::string>;

namespace {

const ServiceEndpoints kService{"http://svc", "probe"};
const std::string kStars(38, '*');

std::string SoftwareList(const std::string& version, const std::string& uri, const std::string& recommended) {
  return "<result status=\"OK\"><item><sw_version>" + version + "</sw_version><sw_uri>" + uri +
         "</sw_uri><sw_recommand_uri>" + recommended + "</sw_recommand_uri></item></result>";
}

using Found = std::tuple<bool, std::string, std::string, std::string>;  // found, result word, the two addresses

class ToolCheck : public ::testing::Test {
 protected:
  ToolCheck() {
    pc.server[CountryInfoUrl(kService.baseUrl)] =
        "<result status=\"OK\"><item><country_code>DE</country_code><country_isocode>DEU</country_isocode>"
        "<region_code>EU</region_code></item></result>";
  }

  Found Check(const std::string& testFlag, const std::string& version) {
    const size_t from = pc.events.size();
    const PcToolCheck check = CheckPcToolRelease(pc, kService, testFlag, version);
    run = pc.EventsFrom(from);
    return {check.found, check.resultWord, check.downloadUrl, check.recommendedUrl};
  }

  Events Then(const Events& more) const {
    Events all = opening;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  }

  const std::string regular = SoftwareListUrl(kService.baseUrl, "E", "DE");
  const std::string global = SoftwareListUrl(kService.baseUrl, "T", "GO");
  const Events opening{kStars, "UTSetup Function call Start", "server connect check....", "> Probe probe",
                       "> GET " + CountryInfoUrl(kService.baseUrl)};
  ScriptedLibraryPc pc;
  Events run;
};

TEST_F(ToolCheck, UnreachableServerAsksForNothingElse) {
  pc.reachable = false;
  EXPECT_EQ(Check("", ""), Found(false, "MSG_SERVER_CONN_ERROR", "", ""));
  EXPECT_EQ(run, (Events{kStars, "UTSetup Function call Start", "server connect check....", "> Probe probe",
                         "MSG_SERVER_CONN_ERROR"}));
}

TEST_F(ToolCheck, RegularListOfThePcsCountryNamesThePackage) {
  pc.server[regular] = SoftwareList("PXPC_1.0.0.9", "http://h/p/", "http://h/r/");
  EXPECT_EQ(Check("", ""), Found(true, "MSG_SUCCESS", "http://h/p/", "http://h/r/"));
  EXPECT_EQ(run, Then({"Search URL...", "> GET " + regular, "MSG_SUCCESS"}));
  EXPECT_EQ(pc.cause, "");

  // A locale the table does not know asks without a region or country.
  pc.localeCountry = "XYZ";
  pc.server[SoftwareListUrl(kService.baseUrl, "", "")] = SoftwareList("PXPC_1.0.0.9", "http://h/p/", "http://h/r/");
  EXPECT_TRUE(std::get<0>(Check("", "")));
  EXPECT_EQ(run[6], "> GET " + SoftwareListUrl(kService.baseUrl, "", ""));
}

TEST_F(ToolCheck, QueryByVersionGoesToTheTestRegionOnlyWithTheTestFlag) {
  const std::string testing = SoftwareTestingUrl(kService.baseUrl, "T", "GO", "1.2");
  const std::string local = SoftwareTestingUrl(kService.baseUrl, "E", "DE", "1.2");
  pc.server[testing] = SoftwareList("PXPC_1.2", "http://h/t/", "http://h/tr/");
  pc.server[local] = SoftwareList("PXPC_1.2", "http://h/l/", "http://h/lr/");
  EXPECT_EQ(std::get<2>(Check("TRUE", "1.2")), "http://h/t/");
  EXPECT_EQ(run, Then({"Search URL by version...", "> GET " + testing, "MSG_SUCCESS"}));
  EXPECT_EQ(std::get<2>(Check("true", "1.2")), "http://h/l/");
  EXPECT_EQ(run, Then({"Search URL by version...", "> GET " + local, "MSG_SUCCESS"}));
}

TEST_F(ToolCheck, IncompleteFirstListFallsBackToTheGlobalList) {
  pc.server[regular] = SoftwareList("PXPC_1.0.0.9", "http://h/p/", "");
  pc.server[global] = SoftwareList("PXPC_1.0.1.0", "http://g/p/", "http://g/r/");
  EXPECT_EQ(Check("", ""), Found(true, "MSG_SUCCESS", "http://g/p/", "http://g/r/"));
  EXPECT_EQ(run, Then({"Search URL...", "> GET " + regular, "MSG_SUCCESS", "URL empty...", "Search Global URL...",
                       "> GET " + global, "MSG_SUCCESS"}));

  // Neither list complete: the call still names what it found, and tells why it is incomplete.
  pc.server[global] = SoftwareList("OTHER_1", "http://g/p/", "http://g/r/");
  const Found incomplete = Check("", "");
  EXPECT_TRUE(std::get<0>(incomplete));
  EXPECT_EQ(std::get<3>(incomplete), "");
  EXPECT_EQ(pc.cause, "no list of the service names a complete PC tool package");
}

TEST_F(ToolCheck, EmptyOrRejectedListsGiveTheirResultWords) {
  EXPECT_EQ(Check("", ""), Found(false, "MSG_SERVER_FAIL", "", ""));  // the server has no list: an empty answer
  EXPECT_EQ(run, Then({"Search URL...", "> GET " + regular, "MSG_SERVER_FAIL"}));

  pc.server[regular] = "<result status=\"FAIL\"></result>";
  EXPECT_EQ(std::get<1>(Check("", "")), "MSG_FUNCTION_FAIL");
  EXPECT_EQ(pc.cause, "GET " + regular + " answered a result the service did not mark OK");

  // A cause the request noted (its error status) is kept.
  pc.cause = "GET " + regular + " answered HTTP 500";
  EXPECT_EQ(std::get<1>(Check("", "")), "MSG_FUNCTION_FAIL");
  EXPECT_EQ(pc.cause, "GET " + regular + " answered HTTP 500");

  // The global list's failure ends the call the same way.
  pc.server[regular] = SoftwareList("PXPC_1", "", "");
  pc.server.erase(global);
  EXPECT_EQ(std::get<1>(Check("", "")), "MSG_SERVER_FAIL");
  EXPECT_EQ(Events(run.end() - 4, run.end()),
            (Events{"Search Global URL...", "> GET " + global, "MSG_SERVER_FAIL", "MSG_SERVER_FAIL"}));
  // Its rejection is traced once, by the failure's exit.
  pc.server[global] = "<result status=\"FAIL\"></result>";
  EXPECT_EQ(std::get<1>(Check("", "")), "MSG_FUNCTION_FAIL");
  EXPECT_EQ(Events(run.end() - 3, run.end()), (Events{"Search Global URL...", "> GET " + global, "MSG_FUNCTION_FAIL"}));
}

TEST(CountryLookup, TableThatCannotBeReadLeavesCountryAndRegion) {
  ScriptedLibraryPc pc;
  std::string country = "c", region = "r";
  LookUpCountry(pc, "http://svc", country, region);
  EXPECT_EQ(std::make_pair(country, region), std::make_pair(std::string("c"), std::string("r")));
  pc.server[CountryInfoUrl("http://svc")] = "<result status=\"FAIL\"><item><country_isocode>DEU</country_isocode>"
                                            "<country_code>DE</country_code><region_code>EU</region_code></item></result>";
  LookUpCountry(pc, "http://svc", country, region);
  EXPECT_EQ(country, "c");
}

}  // namespace
