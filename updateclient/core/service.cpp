// Request formats and statistics arithmetic of the update service.
#include "updateclient/core/service.h"

#include <cstdint>
#include <cstdlib>

#include "updateclient/core/markup_reader.h"

namespace qv::updateclient {

namespace {

const char kClientPath[] = "ksvc/b2c/client";

// |value| in decimal, zero-padded to |width| characters with its sign, as "%0*d" writes it. The
// library builds its texts without the runtime's printf family, which would add some 20 KB.
std::string ZeroPadded(int value, size_t width) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -static_cast<long long>(value) : static_cast<long long>(value));
  const size_t used = digits.size() + (negative ? 1 : 0);
  if (used < width) digits.insert(0, width - used, '0');
  return negative ? "-" + digits : digits;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t SecondsOf(const LocalDateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

// Two characters at |pos| read as a decimal number the way atoi reads them.
int TwoDigitField(const std::string& stamp, size_t pos) {
  return pos < stamp.size() ? std::atoi(stamp.substr(pos, 2).c_str()) : 0;
}

}  // namespace

std::string CountryInfoUrl(const std::string& base) { return base + "/" + kClientPath + "/ftp_country_info.jsp"; }

std::string SoftwareListUrl(const std::string& base, const std::string& region, const std::string& country) {
  return base + "/" + kClientPath + "/buyer_autorun_swupload_list.jsp?model=&buyer=&region=" + region +
         "&country=" + country;
}

std::string SoftwareTestingUrl(const std::string& base, const std::string& region, const std::string& country,
                               const std::string& version) {
  return base + "/" + kClientPath + "/buyer_autorun_swupload_testing.jsp?model=&buyer=&region=" + region +
         "&country=" + country + "&version=" + version;
}

std::string UsageLogUrl(const std::string& base, const std::string& region, const std::string& country,
                        const std::string& status, const std::string& historyId, const std::string& downloadTime) {
  return base + "/" + kClientPath + "/ric_hit_rate_pcsync_log.jsp?region=" + region + "&country=" + country +
         "&status=" + status + "&ric=GLOBAL&client=PXPC_DN&model=&esn=&version=&history_id=" + historyId +
         "&userid=&filesize=0&download_time=" + downloadTime;
}

std::string ServerCountryCode(const std::string& localeCode) {
  return localeCode == "SCG" || localeCode == "BIH" ? "SRB" : localeCode;
}

void PickCountry(const std::vector<std::string>& countryCodes, const std::vector<std::string>& isoCodes,
                 const std::vector<std::string>& regionCodes, const std::string& localeCode,
                 std::string& country, std::string& region) {
  for (size_t n = 0; n < countryCodes.size(); ++n) {
    if (ValueAt(isoCodes, n) != localeCode) continue;
    region = ValueAt(regionCodes, n).substr(0, 1);
    country = countryCodes[n];
  }
}

std::string FormatHistoryId(const std::string& prefix, const LocalDateTime& at) {
  return prefix + ZeroPadded(at.year % 100, 2) + ZeroPadded(at.month, 2) + ZeroPadded(at.day, 2) +
         ZeroPadded(at.hour, 2) + ZeroPadded(at.minute, 2) + ZeroPadded(at.second, 2) + ZeroPadded(at.millisecond, 3);
}

int ElapsedSecondsWithinDay(const std::string& historyId, const LocalDateTime& now) {
  size_t colon = historyId.find(':');
  std::string stamp = colon == std::string::npos ? historyId : historyId.substr(colon + 1);
  LocalDateTime start;
  start.year = 2000 + TwoDigitField(stamp, 0);
  start.month = TwoDigitField(stamp, 2);
  start.day = TwoDigitField(stamp, 4);
  start.hour = TwoDigitField(stamp, 6);
  start.minute = TwoDigitField(stamp, 8);
  start.second = TwoDigitField(stamp, 10);
  return static_cast<int>((SecondsOf(now) - SecondsOf(start)) % 86400);
}

std::string DownloadTimeFor(const std::string& status, const std::string& historyId, const LocalDateTime& now) {
  if (status == "FAIL") return "0.5";
  if (status == "OK") return std::to_string(ElapsedSecondsWithinDay(historyId, now));
  return "0.1";
}

bool ScanForPcTool(const std::vector<std::string>& versions, const std::vector<std::string>& uris,
                   const std::vector<std::string>& recommendedUris, PcToolRelease& release) {
  for (size_t n = 0; n < versions.size(); ++n) {
    if (versions[n].compare(0, 5, "PXPC_") == 0) {
      release = {versions[n], ValueAt(uris, n), ValueAt(recommendedUris, n)};
      break;
    }
    release.version.clear();
  }
  if (release.version.empty()) {
    release.downloadUrl.clear();
    release.recommendedUrl.clear();
  }
  return !release.version.empty();
}

}  // namespace qv::updateclient
