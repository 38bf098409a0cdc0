// libFuzzer target of the verdicts on the agent folders' and files' security: the owner and the
// access entries come from the system, but anyone who could change them chose them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/native/fuzz/fuzz_input.h"
#include "updateclient/core/folder_security.h"

using namespace qv::updateclient;
using qv::fuzz::Check;
using qv::fuzz::LowerAscii;

namespace {

// One digit names a well-known trustee (or an ordinary user, or nobody); anything else is itself.
std::string Trustee(const std::string& field) {
  static const char* const kKnown[] = {"S-1-5-18", "S-1-5-32-544", "S-1-5-32-545", "s-1-5-32-544",
                                       "S-1-5-21-7-8-9-1001", "", "S-1-1-0", "S-1-5-11", "s-1-5-18", "S-1-5-32-5440"};
  if (field.size() == 1 && field[0] >= '0' && field[0] <= '9') return kKnown[field[0] - '0'];
  return field;
}

bool Safe(const SecurityDescription& d, ObjectKind kind, const OwnerTrust& trust) {
  const bool safe = IsAdministratorsOnly(d, kind, trust);
  Check(safe == WhyNotAdministratorsOnly(d, kind, trust).empty(), "an object is safe exactly when there is no reason against it");
  return safe;
}

void CheckKind(const SecurityDescription& d, ObjectKind kind, const OwnerTrust& trust, const std::string& untrusted) {
  const bool safe = Safe(d, kind, trust);
  SecurityDescription changed = d;
  std::reverse(changed.entries.begin(), changed.entries.end());
  Check(Safe(changed, kind, trust) == safe, "the order of the entries changes nothing");

  changed = d;
  changed.owner = LowerAscii(changed.owner);
  for (AccessEntry& entry : changed.entries) entry.trustee = LowerAscii(entry.trustee);
  OwnerTrust lowerTrust = trust;
  lowerTrust.alsoTrusted = LowerAscii(trust.alsoTrusted);
  Check(Safe(changed, kind, lowerTrust) == safe, "SIDs compare in any letter case");

  changed = d;
  changed.entries.erase(std::remove_if(changed.entries.begin(), changed.entries.end(),
                                       [](const AccessEntry& e) { return e.kind == AceKind::kDeny; }),
                        changed.entries.end());
  Check(Safe(changed, kind, trust) == safe, "denying entries change nothing");

  if (safe) {
    for (size_t i = 0; i < d.entries.size(); ++i) {
      changed = d;
      changed.entries.erase(changed.entries.begin() + static_cast<long>(i));
      Check(Safe(changed, kind, trust), "taking an entry away keeps a safe object safe");
    }
    changed = d;
    changed.entries.push_back({AceKind::kAllow, kAdministratorsSid, access::kFileAllAccess, ace_flags::kObjectInherit});
    changed.entries.push_back({AceKind::kAllow, kSystemSid, access::kGenericAll, ace_flags::kInheritOnly});
    Check(Safe(changed, kind, trust), "allowing SYSTEM and the Administrators keeps a safe object safe");
    changed.entries.push_back({AceKind::kAllow, untrusted, access::kFileGenericRead | access::kFileGenericExecute, 0});
    Check(Safe(changed, kind, trust), "reading and executing for anyone keeps a safe object safe");
  }
  // A write right of anyone else, on the object itself or in what a folder passes on.
  for (uint32_t right : {access::kWriteData, access::kAppendData, access::kDelete, access::kWriteDac, access::kWriteOwner,
                         access::kGenericWrite, access::kGenericAll, access::kDeleteChild}) {
    changed = d;
    changed.entries.insert(changed.entries.begin(), AccessEntry{AceKind::kAllow, untrusted, right, 0});
    Check(!Safe(changed, kind, trust), "a write right for anyone else makes an object unsafe");
    changed.entries.front().flags = ace_flags::kInheritOnly | ace_flags::kObjectInherit;
    Check(Safe(changed, kind, trust) == (kind == ObjectKind::kFile && safe),
          "an inherited write right makes a folder unsafe, and a file only by itself");
    changed.entries.front() = AccessEntry{AceKind::kOther, kAdministratorsSid, right, 0};
    Check(!Safe(changed, kind, trust), "a write right in an entry of another kind makes an object unsafe");
  }
  changed = d;
  changed.hasDacl = false;
  Check(!Safe(changed, kind, trust), "no DACL is never safe");
  changed = d;
  changed.owner = untrusted;
  Check(!Safe(changed, kind, trust), "an owner of anyone else is never safe");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const uint32_t bits = input.Number();
  SecurityDescription d;
  d.owner = Trustee(input.Narrow());
  d.hasDacl = (bits & 1u) != 0;
  d.daclProtected = (bits & 2u) != 0;
  OwnerTrust trust;
  trust.protectionKept = (bits & 4u) == 0;
  if (bits & 8u) trust.alsoTrusted = "S-1-5-21-7-8-9-1000";
  while (!input.AtEnd() && d.entries.size() < 16) {
    const std::string field = input.Narrow();
    AccessEntry entry;
    entry.kind = field.empty() ? AceKind::kAllow : static_cast<AceKind>(static_cast<uint8_t>(field[0]) % 3);
    entry.flags = field.size() > 1 ? static_cast<uint8_t>(field[1]) : 0;
    for (size_t i = 2; i < 6 && i < field.size(); ++i) entry.mask |= static_cast<uint32_t>(static_cast<uint8_t>(field[i])) << (8 * (i - 2));
    entry.trustee = Trustee(field.size() > 6 ? field.substr(6) : std::string());
    d.entries.push_back(entry);
  }
  // A trustee neither SYSTEM, nor the Administrators, nor the one trusted besides them.
  const std::string untrusted = "S-1-5-21-7-8-9-1001";

  CheckKind(d, ObjectKind::kFile, trust, untrusted);
  CheckKind(d, ObjectKind::kFolder, trust, untrusted);
  const bool folderSafe = Safe(d, ObjectKind::kFolder, trust);
  const bool fileSafe = Safe(d, ObjectKind::kFile, trust);
  if (folderSafe) Check(fileSafe, "what is safe as a folder is safe as a file");

  const FolderVerdict folder = JudgeAgentFolder(d, trust);
  Check((folder == FolderVerdict::kEmpty) == !folderSafe, "an unsafe folder is emptied, and only it");
  if (folder == FolderVerdict::kKeep) Check(d.daclProtected || !trust.protectionKept, "a folder is kept only when protected");
  if (folder == FolderVerdict::kTakeBack) Check(!d.daclProtected && trust.protectionKept, "a protected folder is not taken back");
  Check((JudgeAgentFile(d, trust) == FileVerdict::kUse) == fileSafe, "a file is used exactly when it is safe");
  Check(JudgeFolderEntry(true, d, ObjectKind::kFile, trust) == EntryVerdict::kLeaveLink, "a link is left alone");
  const EntryVerdict entry = JudgeFolderEntry(false, d, ObjectKind::kFolder, trust);
  Check(entry == (folderSafe ? EntryVerdict::kLookInto : EntryVerdict::kRemove), "a safe sub-folder is looked into, else removed");
  Check(JudgeFolderEntry(false, d, ObjectKind::kFile, trust) == (fileSafe ? EntryVerdict::kKeep : EntryVerdict::kRemove),
        "a safe file is kept, else removed");
  return 0;
}
