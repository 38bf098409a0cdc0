// The agent installation behind CheckUTSetup and CheckUASetup: one procedure, two variants, and
// the launcher start behind StartUpdate, over the PC of library_pc.h.
#pragma once

#include <string>

#include "updateclient/core/agent_rules.h"
#include "updateclient/core/library_pc.h"

namespace qv::updateclient {

// True when the live-update list publishes a version of the agent other than the installed one in
// |agentFolder|. A missing entry, an empty list or an unreachable server give false.
bool IsAgentUpdateNeeded(LibraryPc& pc, const ServiceEndpoints& service, const std::string& agentFolder,
                         const std::string& agentImage, const std::string& entryMarker);

// Keeps the agent of |variant| installed, current, running and registered: starts the installed
// agent when it is current, otherwise asks the user, shows the download, starts the agent and
// registers it to start with Windows. Returns 0 or 1 and sets |result| to the result word (empty
// when the user declined).
int RunAgentSetup(LibraryPc& pc, const ServiceEndpoints& service, const AgentVariant& variant, std::string& result);

// Writes the synchronisation request to the maker's key and starts the launcher: 1 when it was
// started, 0 when it is not installed, is refused or does not start.
int LaunchPhoneUpdateTool(LibraryPc& pc);

}  // namespace qv::updateclient
