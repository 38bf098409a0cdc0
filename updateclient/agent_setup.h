// The agent installation behind CheckUTSetup and CheckUASetup: one procedure, two variants.
#pragma once

#include <string>

#include "updateclient/core/agent_rules.h"

namespace qv::updateclient {

// True when the live-update list publishes a version of the agent other than the installed one.
// A missing entry, an empty list or an unreachable server give false.
bool IsAgentUpdateNeeded(const std::string& agentImage, const std::string& entryMarker);

// Runs the procedure for |variant|: returns 0 or 1 and sets |result| to the result word (empty
// when the user declined).
int RunAgentSetup(const AgentVariant& variant, std::string& result);

}  // namespace qv::updateclient
