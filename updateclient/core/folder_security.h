// Whether the agent folders and the programs in them can be changed only by administrators: a
// portable picture of an owner and a DACL, and the decisions taken on it before anything from
// those places is started with the caller's rights.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::updateclient {

// The well-known trustees the decisions name, as their SID texts.
constexpr char kSystemSid[] = "S-1-5-18";
constexpr char kAdministratorsSid[] = "S-1-5-32-544";
constexpr char kUsersSid[] = "S-1-5-32-545";

// Access rights and ACE flags with the values the system gives them, so that the decisions need
// no system header.
namespace access {
constexpr uint32_t kWriteData = 0x00000002;       // a file's data; a folder: add a file
constexpr uint32_t kAppendData = 0x00000004;      // a file's end; a folder: add a subfolder
constexpr uint32_t kReadEa = 0x00000008;
constexpr uint32_t kWriteEa = 0x00000010;
constexpr uint32_t kExecute = 0x00000020;         // a folder: traverse
constexpr uint32_t kDeleteChild = 0x00000040;
constexpr uint32_t kWriteAttributes = 0x00000100;
constexpr uint32_t kDelete = 0x00010000;
constexpr uint32_t kWriteDac = 0x00040000;
constexpr uint32_t kWriteOwner = 0x00080000;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kFileAllAccess = 0x001F01FF;
constexpr uint32_t kFileGenericRead = 0x00120089;
constexpr uint32_t kFileGenericExecute = 0x001200A0;

// Every right by which a trustee can change an object or what it holds.
constexpr uint32_t kAnyWrite = kWriteData | kAppendData | kWriteEa | kDeleteChild | kWriteAttributes | kDelete |
                               kWriteDac | kWriteOwner | kGenericAll | kGenericWrite;
}  // namespace access

namespace ace_flags {
constexpr uint8_t kObjectInherit = 0x01;
constexpr uint8_t kContainerInherit = 0x02;
constexpr uint8_t kNoPropagateInherit = 0x04;
constexpr uint8_t kInheritOnly = 0x08;
constexpr uint8_t kInherited = 0x10;
}  // namespace ace_flags

enum class AceKind {
  kAllow,
  kDeny,
  kOther,  // any other kind (object, callback, ...): what it grants cannot be judged here
};

struct AccessEntry {
  AceKind kind = AceKind::kAllow;
  std::string trustee;  // SID text, e.g. "S-1-5-32-545"
  uint32_t mask = 0;
  uint8_t flags = 0;    // ace_flags
};

struct SecurityDescription {
  std::string owner;           // SID text; empty when there is none
  bool hasDacl = false;        // false: no DACL or a null DACL, which grants everyone everything
  bool daclProtected = false;  // the DACL takes nothing from the folder above
  std::vector<AccessEntry> entries;
};

enum class ObjectKind { kFile, kFolder };

// Who, besides SYSTEM and the Administrators, may own what the agents run, and whether a folder
// must take nothing from above. On Windows: nobody more, and it must. Wine keeps no descriptors:
// it makes one up from the Unix mode bits, owned by its one user and never protected. There that
// user (every program's own) is trusted too and protection is not asked for; a write right for
// anyone else still refuses.
struct OwnerTrust {
  std::string alsoTrusted;      // SID text; empty: nobody more
  bool protectionKept = true;   // a protected DACL is stored and read back
};

// Why someone other than SYSTEM and the Administrators can change the object, or (for a folder)
// what is created in it; empty when nobody else can. The owner must be SYSTEM or the
// Administrators; there must be a DACL; no allowing entry for another trustee may grant a write
// right. Denying entries never make an object unsafe. An inherit-only entry does not apply to the
// object itself, so it is ignored on a file, but on a folder it is what new files and folders
// there receive, and counts.
std::string WhyNotAdministratorsOnly(const SecurityDescription& description, ObjectKind kind,
                                     const OwnerTrust& trust = OwnerTrust());

bool IsAdministratorsOnly(const SecurityDescription& description, ObjectKind kind,
                          const OwnerTrust& trust = OwnerTrust());

// A folder the library puts agents into: kept as it is when only administrators can change it
// and it takes nothing from above; taken back (owner and protected DACL set anew, what it holds
// kept) when only administrators can change it but it takes from above; emptied and taken back
// when anyone else can change it (folders made by earlier versions inherited the users' right to
// create files there): nothing another user could have put or changed there is used.
enum class FolderVerdict { kKeep, kTakeBack, kEmpty };
FolderVerdict JudgeAgentFolder(const SecurityDescription& description, const OwnerTrust& trust = OwnerTrust());

// An entry found inside an agent folder that only administrators can change: a file is kept and a
// sub-folder looked into in turn when only administrators can change it too (a sub-folder need not
// be protected: it takes what its folder passes on); anything else is removed. A link is left
// as it is, never entered: only an administrator could have made it there, and every later use
// refuses a link on its way.
enum class EntryVerdict { kKeep, kLookInto, kRemove, kLeaveLink };
EntryVerdict JudgeFolderEntry(bool isLink, const SecurityDescription& description, ObjectKind kind,
                              const OwnerTrust& trust = OwnerTrust());

// The trace line for an entry removed from an agent folder, with why (WhyNotAdministratorsOnly).
std::string RemovedEntryTrace(const std::string& path, const std::string& why);

// A file the library would start, copy over or replace: used only when administrators alone can
// change it. Taking such a file back would not make what others may have written into it
// trustworthy.
enum class FileVerdict { kUse, kRefuse };
FileVerdict JudgeAgentFile(const SecurityDescription& description, const OwnerTrust& trust = OwnerTrust());

// What securing an agent folder came to, and the one trace line it earns (empty: nothing to say).
enum class FolderOutcome {
  kCreated,    // made with the protected descriptor
  kKept,       // was admin-only and protected already
  kTakenBack,  // owner and DACL replaced by the protected ones
  kEmptied,    // anyone else could change it: taken back and everything in it removed
  kRefused,    // not a plain folder, not to be read or changed, or still not admin-only
};
std::string FolderOutcomeTrace(FolderOutcome outcome, const std::string& path);

}  // namespace qv::updateclient
