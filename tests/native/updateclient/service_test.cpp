// Request addresses, statistics arithmetic, the country pick and the PC tool scan.
#include "updateclient/core/service.h"

#include <gtest/gtest.h>

#include <cctype>

#include "updateclient/core/text.h"
#include "updateclient/core/transfer.h"

using namespace qv::updateclient;

using Values = std::vector<std::string>;

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

  LocalDateTime later = start;
  later.minute += 1;
  later.second += 30;
  EXPECT_EQ(ElapsedSecondsWithinDay("260304050607008", later), 90);
  EXPECT_EQ(ElapsedSecondsWithinDay("prefix:260304050607008", later), 90);  // stamp after the first ':'
  LocalDateTime dayAndHourLater{2026, 3, 5, 6, 6, 7, 0};
  EXPECT_EQ(ElapsedSecondsWithinDay("260304050607", dayAndHourLater), 3600);  // whole days dropped
  LocalDateTime overMonthEnd{2026, 4, 1, 0, 0, 10, 0};
  EXPECT_EQ(ElapsedSecondsWithinDay("260331235950000", overMonthEnd), 20);

  ElapsedSecondsWithinDay("", later);  // meaningless but harmless
  ElapsedSecondsWithinDay("x:ab", later);
  EXPECT_EQ(DownloadTimeFor("START", "", later), "0.1");
  EXPECT_EQ(DownloadTimeFor("FAIL", "260304050607008", later), "0.5");
  EXPECT_EQ(DownloadTimeFor("OK", "260304050607008", later), "90");
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

TEST(ServiceAnswers, PcToolScanTakesFirstPrefixedItemOnly) {
  PcToolRelease release;
  EXPECT_TRUE(ScanForPcTool({"APP_1", "PXPC_2", "PXPC_3"}, {"u1", "u2", "u3"}, {"r1", "r2"}, release));
  EXPECT_EQ(release.version, "PXPC_2");
  EXPECT_EQ(release.downloadUrl, "u2");
  EXPECT_TRUE(release.Complete());

  PcToolRelease partial;
  ScanForPcTool({"PXPC_1"}, {"u"}, {}, partial);
  EXPECT_FALSE(partial.Complete());
  PcToolRelease kept = partial;
  EXPECT_TRUE(ScanForPcTool({}, {}, {}, kept));  // an empty list leaves the first scan's result
  EXPECT_EQ(kept.downloadUrl, "u");
  EXPECT_FALSE(ScanForPcTool({"pxpc_1", "APP"}, {"u", "v"}, {"r", "s"}, kept));  // prefix is case-sensitive
  EXPECT_EQ(kept.downloadUrl, "");
  EXPECT_EQ(kept.recommendedUrl, "");
}

TEST(ServiceText, BuffersAreCutToFitWithTerminator) {
  char buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), 'z');
  CopyToBuffer(std::string(5000, 'a'), buffer, 5);
  EXPECT_STREQ(buffer, "aaaa");
  EXPECT_EQ(buffer[5], 'z');
  CopyToBuffer("ok", buffer, sizeof(buffer));
  EXPECT_STREQ(buffer, "ok");
  CopyToBuffer("x", nullptr, 3);
  CopyToBuffer("x", buffer, 0);
  EXPECT_STREQ(buffer, "ok");

  EXPECT_EQ(MarkupFromBody("\xEF\xBB\xBF  junk <r a=\"OK\"/> \r\n\t"), "<r a=\"OK\"/>");
  EXPECT_EQ(MarkupFromBody("  no tags  "), "  no tags");
  EXPECT_EQ(TrimText(" \t\v\f a b \r\n"), "a b");
}

TEST(ServiceText, AnswerLinesAreConvertedOneByOneWithoutTheirEnds) {
  // Each conversion is bracketed and upper-cased, so the result shows where every line began and
  // ended; |asked| records what the conversion was given.
  std::vector<std::string> asked;
  auto convert = [&asked](const std::string& line) {
    asked.push_back(line);
    if (line == "bad") return std::string();  // this line cannot be converted
    std::string text = line;
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "[" + text + "]";
  };
  EXPECT_EQ(ConvertLineByLine("<r>\r\n<a>x</a>\n\n\r\nlast", convert), "[<R>][<A>X</A>][LAST]");
  EXPECT_EQ(asked, (Values{"<r>", "<a>x</a>", "last"}));  // empty lines are never converted

  asked.clear();
  EXPECT_EQ(ConvertLineByLine("a\rb\r\r\nend\r", convert), "[A\rB\r][END]");  // one CR before LF or at the end
  EXPECT_EQ(asked, (Values{"a\rb\r", "end"}));

  asked.clear();
  EXPECT_EQ(ConvertLineByLine("one\nbad\ntwo\n", convert), "[ONE][TWO]");  // a failed line adds nothing
  EXPECT_EQ(asked, (Values{"one", "bad", "two"}));

  asked.clear();
  EXPECT_EQ(ConvertLineByLine("", convert), "");
  EXPECT_EQ(ConvertLineByLine("\n\r\n\r", convert), "");
  EXPECT_TRUE(asked.empty());
}

TEST(ServiceText, FoldersAlongPathSkipDrivePrefixAndFileName) {
  EXPECT_EQ(FoldersAlongPath("C:\\a\\b\\file.cab"), (Values{"C:\\a", "C:\\a\\b"}));
  // Both separators alike: each folder comes before the folders inside it.
  EXPECT_EQ(FoldersAlongPath("C:\\a/b\\c/"), (Values{"C:\\a", "C:\\a/b", "C:\\a/b\\c"}));
  EXPECT_EQ(FoldersAlongPath("C:/a\\b/f"), (Values{"C:/a", "C:/a\\b"}));
  EXPECT_EQ(FoldersAlongPath("C:\\x\\"), Values{"C:\\x"});
  EXPECT_EQ(FoldersAlongPath("C:\\"), Values{});
  EXPECT_EQ(FoldersAlongPath(""), Values{});
}
