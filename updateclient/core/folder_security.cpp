// The admin-only decisions on agent folders and files, and their trace lines.
#include "updateclient/core/folder_security.h"

#include <cctype>

namespace qv::updateclient {

namespace {

// SID texts compare without regard to case ("s-1-5-18" is SYSTEM too).
bool SameSid(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool IsAdministrativeSid(const std::string& sid) { return SameSid(sid, kSystemSid) || SameSid(sid, kAdministratorsSid); }

// "0x0000001F": eight upper-case hex digits (the library has no printf family).
std::string Hex(uint32_t value) {
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += "0123456789ABCDEF"[(value >> shift) & 0xF];
  return text;
}

}  // namespace

std::string WhyNotAdministratorsOnly(const SecurityDescription& description, ObjectKind kind,
                                     const OwnerTrust& trust) {
  auto isTrusted = [&trust](const std::string& sid) {
    return IsAdministrativeSid(sid) || (!trust.alsoTrusted.empty() && SameSid(sid, trust.alsoTrusted.c_str()));
  };
  if (!isTrusted(description.owner)) {
    return "owner " + (description.owner.empty() ? std::string("unknown") : description.owner) +
           " is neither SYSTEM nor the Administrators";
  }
  if (!description.hasDacl) return "no DACL: everyone has full access";
  for (const AccessEntry& entry : description.entries) {
    if (entry.kind == AceKind::kDeny) continue;
    // A file has no children: what it would pass on never takes effect.
    if (kind == ObjectKind::kFile && (entry.flags & ace_flags::kInheritOnly)) continue;
    if (entry.kind == AceKind::kAllow && isTrusted(entry.trustee)) continue;
    const uint32_t writes = entry.mask & access::kAnyWrite;
    if (writes == 0) continue;
    const std::string who = entry.kind == AceKind::kOther ? "an entry of another kind" : entry.trustee;
    std::string reason = who + " may write (" + Hex(writes) + ")";
    if (entry.flags & ace_flags::kInheritOnly) reason += " in what is created there";
    return reason;
  }
  return std::string();
}

bool IsAdministratorsOnly(const SecurityDescription& description, ObjectKind kind, const OwnerTrust& trust) {
  return WhyNotAdministratorsOnly(description, kind, trust).empty();
}

FolderVerdict JudgeAgentFolder(const SecurityDescription& description, const OwnerTrust& trust) {
  if (!IsAdministratorsOnly(description, ObjectKind::kFolder, trust)) return FolderVerdict::kEmpty;
  const bool protectedEnough = description.daclProtected || !trust.protectionKept;
  return protectedEnough ? FolderVerdict::kKeep : FolderVerdict::kTakeBack;
}

EntryVerdict JudgeFolderEntry(bool isLink, const SecurityDescription& description, ObjectKind kind,
                              const OwnerTrust& trust) {
  if (isLink) return EntryVerdict::kLeaveLink;
  if (!IsAdministratorsOnly(description, kind, trust)) return EntryVerdict::kRemove;
  return kind == ObjectKind::kFolder ? EntryVerdict::kLookInto : EntryVerdict::kKeep;
}

std::string RemovedEntryTrace(const std::string& path, const std::string& why) {
  return "Agent folder entry removed, " + why + ": " + path;
}

FileVerdict JudgeAgentFile(const SecurityDescription& description, const OwnerTrust& trust) {
  return IsAdministratorsOnly(description, ObjectKind::kFile, trust) ? FileVerdict::kUse : FileVerdict::kRefuse;
}

std::string FolderOutcomeTrace(FolderOutcome outcome, const std::string& path) {
  switch (outcome) {
    case FolderOutcome::kTakenBack:
      return "Agent folder taken back: " + path;
    case FolderOutcome::kEmptied:
      return "Agent folder emptied and taken back: " + path;
    case FolderOutcome::kRefused:
      return "Agent folder refused: " + path;
    case FolderOutcome::kCreated:
    case FolderOutcome::kKept:
      break;
  }
  return std::string();
}

}  // namespace qv::updateclient
