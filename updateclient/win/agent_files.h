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

// The file |path|, held so that nobody can change it; not held when it cannot be opened so.
qv::CHeldFile HoldAnsiPath(const std::string& path);

// Whether the held |file| bears the maker's signature under |policy|; the verdict is traced.
bool IsSignedByMaker(const qv::SignaturePolicy& policy, const qv::CHeldFile& file);

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

}  // namespace qv::updateclient
