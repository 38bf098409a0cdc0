// The agent folders' files, handled so that nothing is written, removed, unpacked, copied or
// started through a link: every step from the agents' root down is checked as itself (a junction,
// a symbolic link and a file with a second name are links), and an update reaches the agent's
// own files only once it is whole. ANSI paths, as the rest of the library.
#pragma once

#include <string>

#include "common/core/signature_policy.h"
#include "common/win/held_file.h"

namespace qv::updateclient {

// The maker's signature setting from the config.ini beside the library (whoever can change that
// file can change the library too); nothing is required when there is none. Traced when it
// requires a signature or is malformed.
qv::SignaturePolicy ReadAgentSignaturePolicy();

// True when no step of |path| below the common data folder (or of the whole path, when it lies
// outside it) is a link. What does not exist yet is no link.
bool IsAgentPathFreeOfLinks(const std::string& path);

// True when the common data folder is a full path; else traced, as nothing may go where the
// caller's current folder happens to be.
bool HasFullAgentRoot();

// Makes |folder| (no final backslash), or takes it back, so that only administrators can change
// it, with no link on the way; a refusal is traced.
bool EnsureAgentFolder(const std::string& folder);

// True when the program |path| may be started with the caller's rights: reached without a link,
// and only administrators can change it. Anything else may be another user's program waiting to
// be run; the refusal is traced ("Agent refused: ...").
bool IsStartableAgent(const std::string& path);

// The agent or launcher |path|, held so that it cannot change, when it may be started: it is
// startable (IsStartableAgent) and bears the maker's signature under |policy|. Not held when
// refused, which is traced. Start it while the hold lasts.
qv::CHeldFile HoldStartableAgent(const std::string& path, const qv::SignaturePolicy& policy);

// Starts the agent or launcher |path| in |folder| as itself, without arguments; the caller holds it
// (HoldStartableAgent) until this returns. True when it was started; a start that failed is traced
// ("Agent start failed: <path>, error N").
bool StartAgentProgram(const std::string& path, const std::string& folder);

// A name in |folder| that nothing has yet, for a file or folder the caller then creates
// exclusively: "~<kind>-<process>-<tick>-<n>".
std::string FreshNameIn(const std::string& folder, const char* kind, int attempt);

// Creates a new, empty folder in |folder| under a fresh name; its path with a trailing backslash,
// or empty when none could be made.
std::string CreateStagingFolder(const std::string& folder);

// Removes |folder| and everything in it; a link inside is removed as itself, never followed.
void RemoveFolderTree(const std::string& folder);

// Puts a downloaded package in place in |agentFolder|: a cabinet (by |packageName|) is unpacked
// into a staging folder of its own first, any other file is the one file of the package. Under a
// |policy| that requires it, the download and every program it brings must bear the maker's
// signature. The agent's files are replaced only when the package is whole, proven and unpacked;
// one that cannot be replaced puts back those already replaced. The download, the staging folder
// and the files replaced are removed either way. True when every file of the package is in place.
bool InstallPackage(const std::string& downloadPath, const std::string& packageName, const std::string& agentFolder,
                    const qv::SignaturePolicy& policy);

// Copies |source| over |target| when neither is reached through a link and the target is no
// second name of another file.
bool CopyAgentFile(const std::string& source, const std::string& target);

}  // namespace qv::updateclient
