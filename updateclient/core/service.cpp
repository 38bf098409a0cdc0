// Request formats and statistics arithmetic of the update service.
#include "updateclient/core/service.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "updateclient/core/markup_reader.h"

namespace qv::updateclient {

namespace {

const char kClientPath[] = "ksvc/b2c/client";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args, copy;
  va_start(args, format);
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
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
  return Format("%s/%s/buyer_autorun_swupload_list.jsp?model=&buyer=&region=%s&country=%s", base.c_str(),
                kClientPath, region.c_str(), country.c_str());
}

std::string SoftwareTestingUrl(const std::string& base, const std::string& region, const std::string& country,
                               const std::string& version) {
  return Format("%s/%s/buyer_autorun_swupload_testing.jsp?model=&buyer=&region=%s&country=%s&version=%s",
                base.c_str(), kClientPath, region.c_str(), country.c_str(), version.c_str());
}

std::string UsageLogUrl(const std::string& base, const std::string& region, const std::string& country,
                        const std::string& status, const std::string& historyId, const std::string& downloadTime) {
  return Format(
      "%s/%s/ric_hit_rate_pcsync_log.jsp?region=%s&country=%s&status=%s&ric=%s&client=PXPC_DN&model=%s&esn=%s"
      "&version=&history_id=%s&userid=&filesize=0&download_time=%s",
      base.c_str(), kClientPath, region.c_str(), country.c_str(), status.c_str(), "GLOBAL", "", "",
      historyId.c_str(), downloadTime.c_str());
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
  return prefix + Format("%02d%02d%02d%02d%02d%02d%03d", at.year % 100, at.month, at.day, at.hour, at.minute,
                         at.second, at.millisecond);
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
