// Request addresses, statistics arithmetic, the country pick, the PC tool scan and the markup of
// an answer body.
#include "updateclient/core/service.h"

#include <gtest/gtest.h>

#include "updateclient/core/text.h"

using namespace qv::updateclient;

TEST(ServiceRequests, AddressesCarryValuesUnencoded) {
  EXPECT_EQ(CountryInfoUrl("http://h:9002"), "http://h:9002/ksvc/b2c/client/ftp_country_info.jsp");
  EXPECT_EQ(SoftwareListUrl("http://h:9002", "E", "RS"),
            "http://h:9002/ksvc/b2c/client/buyer_autorun_swupload_list.jsp?model=&buyer=&region=E&country=RS");
  EXPECT_EQ(SoftwareTestingUrl("b", "T", "GO", "1.0 &x"),
            "b/ksvc/b2c/client/buyer_autorun_swupload_testing.jsp?model=&buyer=&region=T&country=GO&version=1.0 &x");
  EXPECT_EQ(UsageLogUrl("b", "", "", "FAIL", "", "0.5"),
            "b/ksvc/b2c/client/ric_hit_rate_pcsync_log.jsp?region=&country=&status=FAIL&ric=GLOBAL&client=PXPC_DN"
            "&model=&esn=&version=&history_id=&userid=&filesize=0&download_time=0.5");
}

TEST(ServiceRequests, HistoryIdAndDownloadTimes) {
  LocalDateTime start{2026, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(FormatHistoryId("", start), "260304050607008");
  EXPECT_EQ(FormatHistoryId("pc:", LocalDateTime{2100, 12, 31, 23, 59, 59, 999}), "pc:001231235959999");

  const LocalDateTime later{2026, 3, 4, 5, 7, 37, 8};  // 90 s on
  EXPECT_EQ(ElapsedSecondsWithinDay("260304050607008", later), 90);
  EXPECT_EQ(ElapsedSecondsWithinDay("prefix:260304050607008", later), 90);  // stamp after the first ':'
  LocalDateTime dayAndHourLater{2026, 3, 5, 6, 6, 7, 0};
  EXPECT_EQ(ElapsedSecondsWithinDay("260304050607", dayAndHourLater), 3600);  // whole days dropped
  LocalDateTime overMonthEnd{2026, 4, 1, 0, 0, 10, 0};
  EXPECT_EQ(ElapsedSecondsWithinDay("260331235950000", overMonthEnd), 20);

  EXPECT_EQ(DownloadTimeFor("START", "", later), "0.1");
  EXPECT_EQ(DownloadTimeFor("FAIL", "260304050607008", later), "0.5");
}

TEST(ServiceAnswers, LastMatchingCountryWinsAndFormerCodesMapToSerbia) {
  std::string country = "keep", region = "k";
  PickCountry({"US", "XX"}, {"USA"}, {"A"}, "DEU", country, region);
  EXPECT_EQ(country, "keep");
  EXPECT_EQ(region, "k");
  PickCountry({"R1", "US", "R2"}, {"SRB", "USA", "SRB"}, {"Eu", "A"}, "SRB", country, region);
  EXPECT_EQ(country, "R2");
  EXPECT_EQ(region, "");  // a missing region entry counts as empty text
  EXPECT_EQ(ServerCountryCode("BIH"), "SRB");
  EXPECT_EQ(ServerCountryCode("SCG"), "SRB");
  EXPECT_EQ(ServerCountryCode("USA"), "USA");
}

TEST(ServiceAnswers, PcToolScanTakesTheRecommendedAddressOfTheSameItem) {
  PcToolRelease release;
  EXPECT_TRUE(ScanForPcTool({"APP_1", "PXPC_2", "PXPC_3"}, {"u1", "u2", "u3"}, {"r1", "r2"}, release));
  EXPECT_EQ(release.recommendedUrl, "r2");
  EXPECT_TRUE(release.Complete());
  PcToolRelease partial;
  ScanForPcTool({"PXPC_1"}, {"u"}, {}, partial);
  EXPECT_FALSE(partial.Complete());
}

TEST(ServiceText, AnswerBodiesAreTrimmedToTheirMarkup) {
  EXPECT_EQ(MarkupFromBody("\xEF\xBB\xBF  junk <r a=\"OK\"/> \r\n\t"), "<r a=\"OK\"/>");
  EXPECT_EQ(MarkupFromBody("  no tags  "), "  no tags");
  EXPECT_EQ(TrimText(" \t\v\f a b \r\n"), "a b");
}
