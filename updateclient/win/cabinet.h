// Unpacking a downloaded cabinet into a folder.
#pragma once

#include <string>

namespace qv::updateclient {

// Unpacks every file of the cabinet into |targetFolder|, creating the sub-folders the names in
// the cabinet carry. A name that would leave the folder (absolute, with a drive, or climbing
// out with "..") is skipped; one whose way passes a link ends the unpacking. True when the
// cabinet could be read and every file taken was written.
bool ExtractCabinet(const std::string& cabinetPath, const std::string& targetFolder);

}  // namespace qv::updateclient
