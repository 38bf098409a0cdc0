// Where the current PC tool package lies, as the update server's software lists publish it: the
// procedure behind CheckPXPC and the country lookup it starts with, over the PC of library_pc.h.
#pragma once

#include <string>

#include "updateclient/core/library_pc.h"

namespace qv::updateclient {

struct PcToolCheck {
  bool found = false;       // the call's return value: addresses (possibly empty) are valid
  std::string resultWord;   // MSG_...
  std::string downloadUrl, recommendedUrl;
};

// Fills |country| and |region| from the server's country table; leaves them as they were when
// the table cannot be read or has no entry for this PC's country.
void LookUpCountry(LibraryPc& pc, const std::string& baseUrl, std::string& country, std::string& region);

// Probe, country lookup, the regular or testing list, and the global list as a fallback when the
// first list has no complete PC tool item. |testFlag| "TRUE" sends a query by version to the fixed
// test region; an empty |version| asks for the regular list.
PcToolCheck CheckPcToolRelease(LibraryPc& pc, const ServiceEndpoints& service, const std::string& testFlag,
                               const std::string& version);

}  // namespace qv::updateclient
