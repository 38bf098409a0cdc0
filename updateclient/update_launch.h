// StartUpdate: the request to the phone software update tool and the start of its launcher.
#pragma once

namespace qv::updateclient {

// Writes the synchronisation request to the maker's key and starts the launcher: 1 when it was
// started, 0 when it is not installed, is refused or does not start.
int LaunchPhoneUpdateTool();

}  // namespace qv::updateclient
