// What the library asks the update server and how it reads the answers: request addresses,
// history ids and download times of the usage statistics, the country pick and the PC tool scan.
// Values go into queries as they are, without URL encoding: the server expects them that way.
#pragma once

#include <string>
#include <vector>

namespace qv::updateclient {

struct LocalDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

std::string CountryInfoUrl(const std::string& base);
std::string SoftwareListUrl(const std::string& base, const std::string& region, const std::string& country);
std::string SoftwareTestingUrl(const std::string& base, const std::string& region, const std::string& country,
                               const std::string& version);
std::string UsageLogUrl(const std::string& base, const std::string& region, const std::string& country,
                        const std::string& status, const std::string& historyId, const std::string& downloadTime);

// The locale's three-letter country as the server's table knows it (former codes map to "SRB").
std::string ServerCountryCode(const std::string& localeCode);

// Scans the country table's parallel lists; the last entry whose ISO code equals |localeCode|
// sets |country| and |region| (its first letter). Without a match both stay as they were.
void PickCountry(const std::vector<std::string>& countryCodes, const std::vector<std::string>& isoCodes,
                 const std::vector<std::string>& regionCodes, const std::string& localeCode,
                 std::string& country, std::string& region);

// |prefix| followed by yymmddhhmmss and three digits of milliseconds.
std::string FormatHistoryId(const std::string& prefix, const LocalDateTime& at);

// Seconds from the history id's time stamp (after its first ':', else the whole id) to |now|,
// whole days dropped. Fields that are not numbers count as 0, giving a meaningless but harmless value.
int ElapsedSecondsWithinDay(const std::string& historyId, const LocalDateTime& now);

// The statistics record's download_time: "0.5" for FAIL, the elapsed seconds for OK, else "0.1".
std::string DownloadTimeFor(const std::string& status, const std::string& historyId, const LocalDateTime& now);

// The PC tool's published release as the software list names it.
struct PcToolRelease {
  std::string version, downloadUrl, recommendedUrl;
  bool Complete() const { return !version.empty() && !downloadUrl.empty() && !recommendedUrl.empty(); }
};

// Takes the first item whose version begins with "PXPC_"; items before it clear the version.
// An empty version afterwards clears both addresses. An empty list leaves |release| as it was.
// Returns whether a version is set.
bool ScanForPcTool(const std::vector<std::string>& versions, const std::vector<std::string>& uris,
                   const std::vector<std::string>& recommendedUris, PcToolRelease& release);

}  // namespace qv::updateclient
