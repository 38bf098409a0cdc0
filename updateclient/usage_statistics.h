// The PC's region and country as the update server knows them, and the usage statistics records.
#pragma once

#include <string>

namespace qv::updateclient {

// Fills |country| and |region| from the server's country table; leaves them as they were when
// the table cannot be read or has no entry for this PC's country.
void GetCountryInfo(std::string& country, std::string& region);

// Sends one statistics record; true when the server accepted it.
bool SendUsageLog(const std::string& historyId, const std::string& status);

// Reports one step of a package download. Returns the result word; |newHistoryId| receives the
// new id on "START".
std::string ReportDownloadStep(const std::string& historyIdIn, const std::string& status, std::string& newHistoryId);

}  // namespace qv::updateclient
