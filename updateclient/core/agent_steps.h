// The steps the agent installation and the launcher start share: the agents' root and folders
// checked and taken back, an agent held and started only when it may be, and registry writes and
// copies that trace what failed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/core/signature_policy.h"
#include "updateclient/core/library_pc.h"

namespace qv::updateclient {

// True when the common data folder |root| is a full path; else traced, as nothing may go where the
// caller's current folder happens to be.
bool HasFullAgentRoot(LibraryPc& pc, const std::string& root);

// Makes |folder| (no final backslash), or takes it back, so that only administrators can change
// it, with no link on the way; a refusal is traced.
bool EnsureAgentFolder(LibraryPc& pc, const std::string& folder);

// The agent or launcher |path|, held so that it cannot change, when it may be started: reached
// without a link, changeable by administrators only and signed by the maker under |policy|. Null
// when refused, which is traced. Start it while the hold lasts.
std::unique_ptr<HeldProgram> HoldStartableAgent(LibraryPc& pc, const std::string& path,
                                                const qv::SignaturePolicy& policy);

// Starts the held agent or launcher |path| in |folder|; a start that failed is traced.
bool StartAgentProgram(LibraryPc& pc, const std::string& path, const std::string& folder);

// Writes |values| to |subKey| of |root| in order; false at the first step that fails, traced with
// the key, the value and the system's code. What was written before it stays.
bool WriteRegistryValues(LibraryPc& pc, RegistryRoot root, const std::string& subKey,
                         std::initializer_list<RegistryValue> values);

// Copies |source| over |target| when neither is reached through a link.
bool CopyAgentFile(LibraryPc& pc, const std::string& source, const std::string& target);

}  // namespace qv::updateclient
