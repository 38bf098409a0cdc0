// Where the current PC tool package lies, as the update server's software lists publish it.
#pragma once

#include <string>

namespace qv::updateclient {

struct PcToolCheck {
  bool bFound = false;      // the call's return value: addresses (possibly empty) are valid
  std::string strResult;    // the result word
  std::string strDownloadUrl, strRecommendedUrl;
};

// |testFlag| "TRUE" sends a query by version to the fixed test region; an empty |version| asks
// for the regular list.
PcToolCheck CheckPcToolRelease(const std::string& testFlag, const std::string& version);

}  // namespace qv::updateclient
