// The protected descriptor built with the security API, and the owner and DACL of files and
// folders read and set on handles. The judgement is folder_security's.
#include "updateclient/win/protected_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <vector>

#include "common/win/handles.h"
#include "updateclient/core/agent_rules.h"
#include "updateclient/win/library_trace.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  std::vector<BYTE> sid(size);
  if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return std::vector<BYTE>();
  sid.resize(size);
  return sid;
}

// Owner the Administrators; SYSTEM and Administrators full control, Users read and execute, each
// passed on to files and folders inside; SE_DACL_PROTECTED so nothing comes from above. The
// descriptor points into the owned buffers: neither copied nor moved.
class CProtectedDescriptor {
 public:
  CProtectedDescriptor() {
    m_system = WellKnownSid(WinLocalSystemSid);
    m_administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    m_users = WellKnownSid(WinBuiltinUsersSid);
    if (m_system.empty() || m_administrators.empty() || m_users.empty()) return;
    const DWORD aceBase = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    m_acl.resize(sizeof(ACL) + 3 * aceBase + m_system.size() + m_administrators.size() + m_users.size());
    PACL acl = Dacl();
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    m_bValid = ::InitializeAcl(acl, static_cast<DWORD>(m_acl.size()), ACL_REVISION) &&
               ::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, m_system.data()) &&
               ::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, m_administrators.data()) &&
               ::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
                                       m_users.data()) &&
               ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
               ::SetSecurityDescriptorOwner(&m_descriptor, Owner(), FALSE) &&
               ::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE) &&
               ::SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  CProtectedDescriptor(const CProtectedDescriptor&) = delete;
  CProtectedDescriptor& operator=(const CProtectedDescriptor&) = delete;

  bool IsValid() const { return m_bValid; }
  PSID Owner() { return m_administrators.data(); }
  PACL Dacl() { return reinterpret_cast<PACL>(m_acl.data()); }
  PSECURITY_DESCRIPTOR Descriptor() { return &m_descriptor; }

 private:
  std::vector<BYTE> m_system, m_administrators, m_users, m_acl;
  SECURITY_DESCRIPTOR m_descriptor{};
  bool m_bValid = false;
};

// Enables taking ownership, restoring and backing up files on the calling thread's token for its
// lifetime: a folder planted by another user may grant administrators nothing at all. Best
// effort; the process token is left as it was.
class CFilePrivilegeScope {
 public:
  CFilePrivilegeScope() {
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, TRUE, m_hToken.put())) {
      // Not impersonating: a copy of the process token for this thread alone.
      if (!::ImpersonateSelf(SecurityImpersonation)) return;
      m_bImpersonating = true;
      if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, TRUE, m_hToken.put())) {
        return;
      }
    }
    static const char* const kNames[] = {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME, SE_BACKUP_NAME};
    struct {
      DWORD count;
      LUID_AND_ATTRIBUTES privileges[3];
    } wanted{};
    for (const char* name : kNames) {
      LUID luid{};
      if (!::LookupPrivilegeValueA(nullptr, name, &luid)) continue;
      wanted.privileges[wanted.count++] = {luid, SE_PRIVILEGE_ENABLED};
    }
    DWORD size = sizeof(m_previous);
    m_bAdjusted = wanted.count > 0 &&
                  ::AdjustTokenPrivileges(m_hToken.get(), FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&wanted), size,
                                          reinterpret_cast<PTOKEN_PRIVILEGES>(&m_previous), &size);
  }
  ~CFilePrivilegeScope() {
    if (m_bImpersonating) {
      ::RevertToSelf();
    } else if (m_bAdjusted) {
      ::AdjustTokenPrivileges(m_hToken.get(), FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&m_previous), 0, nullptr,
                              nullptr);
    }
  }
  CFilePrivilegeScope(const CFilePrivilegeScope&) = delete;
  CFilePrivilegeScope& operator=(const CFilePrivilegeScope&) = delete;

 private:
  qv::UniqueHandle m_hToken;
  struct {
    DWORD count;
    LUID_AND_ATTRIBUTES privileges[3];
  } m_previous{};
  bool m_bImpersonating = false;
  bool m_bAdjusted = false;
};

std::string SidText(PSID sid) {
  if (sid == nullptr || !::IsValidSid(sid)) return std::string();
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(sid, &text)) return std::string();
  qv::UniqueLocalMemory owned(text);
  return text;
}

// The trustee of an allowing or denying ACE, read only within the ACE's own size.
std::string AceTrustee(const ACE_HEADER* header) {
  const DWORD sidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
  if (header->AceSize < sidOffset + sizeof(SID)) return std::string();
  PSID sid = const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->SidStart);
  const DWORD length = ::GetSidLengthRequired(*::GetSidSubAuthorityCount(sid));
  if (header->AceSize < sidOffset + length) return std::string();
  return SidText(sid);
}

AccessEntry ToAccessEntry(const ACE_HEADER* header) {
  AccessEntry entry;
  entry.flags = header->AceFlags;
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
      entry.kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? AceKind::kAllow : AceKind::kDeny;
      entry.trustee = AceTrustee(header);
      break;
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      entry.kind = AceKind::kDeny;
      break;
    default:
      entry.kind = AceKind::kOther;
      break;
  }
  // Every kind keeps its mask right after the header.
  if (header->AceSize >= sizeof(ACE_HEADER) + sizeof(ACCESS_MASK)) {
    entry.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->Mask;
  }
  return entry;
}

constexpr DWORD kFolderOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Opened as itself; listing access with deletion not shared keeps others from renaming it or
// removing it while held.
qv::UniqueFileHandle OpenFolder(const std::string& path, DWORD access) {
  return qv::UniqueFileHandle(::CreateFileA(path.c_str(), access | FILE_LIST_DIRECTORY,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            kFolderOpenFlags, nullptr));
}

bool IsPlainFolder(HANDLE folder, const std::string& path) {
  // Both views: Wine shows a link to a folder as one only in the attributes read by name.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder, &info)) return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The trust this system allows (see OwnerTrust): Wine is told by an export of its own ntdll,
// which Windows never has; there its one user, the token's, is trusted too.
const OwnerTrust& SystemOwnerTrust() {
  static const OwnerTrust trust = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !::GetProcAddress(ntdll, "wine_get_version")) return OwnerTrust();
    OwnerTrust wine;
    wine.protectionKept = false;
    qv::UniqueHandle token;
    DWORD size = 0;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
      ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
      std::vector<BYTE> user(size);
      if (size != 0 && ::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
        wine.alsoTrusted = SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
      }
    }
    return wine;
  }();
  return trust;
}

bool IsKeptFolder(HANDLE folder) {
  SecurityDescription description;
  return ReadSecurityDescription(folder, description) &&
         JudgeAgentFolder(description, SystemOwnerTrust()) == FolderVerdict::kKeep;
}

bool IsLinkEntry(const WIN32_FIND_DATAA& entry) { return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

ObjectKind KindOf(const WIN32_FIND_DATAA& entry) {
  return entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? ObjectKind::kFolder : ObjectKind::kFile;
}

// Removes |path|, found as |entry|: a link as itself, a folder with everything in it.
bool RemoveEntry(const std::string& path, const WIN32_FIND_DATAA& entry) {
  const bool isFolder = KindOf(entry) == ObjectKind::kFolder;
  if (IsLinkEntry(entry)) return (isFolder && ::RemoveDirectoryA(path.c_str())) || ::DeleteFileA(path.c_str());
  if (isFolder) return EmptyFolder(path) && ::RemoveDirectoryA(path.c_str());
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileA(path.c_str()) != FALSE;
}

// Removes from the admin-only |folder|, at any depth, every entry that anyone else may change
// (JudgeFolderEntry), with one line each in |removed|. False when one of them stays.
bool RemoveForeignEntries(const std::string& folder, std::vector<std::string>* removed) {
  bool all = true;
  const bool listed = ForEachFolderEntry(folder, [&](const WIN32_FIND_DATAA& entry) {
    const std::string path = JoinFolderAndName(folder, entry.cFileName);
    const SecurityDescription description = IsLinkEntry(entry) ? SecurityDescription() : ReadSecurityDescription(path);
    switch (JudgeFolderEntry(IsLinkEntry(entry), description, KindOf(entry), SystemOwnerTrust())) {
      case EntryVerdict::kLookInto:
        all = RemoveForeignEntries(path, removed) && all;
        break;
      case EntryVerdict::kRemove:
        if (removed) {
          removed->push_back(
              RemovedEntryTrace(path, WhyNotAdministratorsOnly(description, KindOf(entry), SystemOwnerTrust())));
        }
        all = RemoveEntry(path, entry) && all;
        break;
      case EntryVerdict::kKeep:
      case EntryVerdict::kLeaveLink:
        break;
    }
    return true;
  });
  return listed && all;
}

}  // namespace

bool ReadSecurityDescription(HANDLE object, SecurityDescription& description) {
  description = SecurityDescription();
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS) {
    return false;
  }
  qv::UniqueLocalMemory owned(raw);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(raw, &control, &revision)) return false;
  description.owner = SidText(owner);
  description.hasDacl = (control & SE_DACL_PRESENT) && dacl != nullptr;
  description.daclProtected = (control & SE_DACL_PROTECTED) != 0;
  if (!description.hasDacl) return true;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) return false;
    description.entries.push_back(ToAccessEntry(static_cast<const ACE_HEADER*>(ace)));
  }
  return true;
}

SecurityDescription ReadSecurityDescription(const std::string& path) {
  SecurityDescription description;
  qv::UniqueFileHandle object(::CreateFileA(path.c_str(), READ_CONTROL,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, kFolderOpenFlags, nullptr));
  if (!object || !ReadSecurityDescription(object.get(), description)) return SecurityDescription();
  return description;
}

FolderOutcome SecureAgentFolder(const std::string& path, std::vector<std::string>* removed) {
  CProtectedDescriptor protectedDescriptor;
  if (!protectedDescriptor.IsValid()) return FolderOutcome::kRefused;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), protectedDescriptor.Descriptor(), FALSE};
  const bool created = ::CreateDirectoryA(path.c_str(), &attributes) != FALSE;
  if (!created && ::GetLastError() != ERROR_ALREADY_EXISTS) return FolderOutcome::kRefused;

  CFilePrivilegeScope privileges;
  qv::UniqueFileHandle folder = OpenFolder(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
  // Without the right to change it, a folder may still be found admin-only already.
  if (!folder) folder = OpenFolder(path, READ_CONTROL);
  if (!folder || !IsPlainFolder(folder.get(), path)) return FolderOutcome::kRefused;
  SecurityDescription found;
  const FolderVerdict verdict = ReadSecurityDescription(folder.get(), found)
                                    ? JudgeAgentFolder(found, SystemOwnerTrust())
                                    : FolderVerdict::kEmpty;
  if (verdict != FolderVerdict::kKeep) {
    // Taken back first, so that nobody else can add anything while it is emptied.
    const DWORD what =
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    if (::SetSecurityInfo(folder.get(), SE_FILE_OBJECT, what, protectedDescriptor.Owner(), nullptr,
                          protectedDescriptor.Dacl(), nullptr) != ERROR_SUCCESS ||
        !IsKeptFolder(folder.get())) {
      return FolderOutcome::kRefused;
    }
  }
  // Whatever another user could have put or changed there goes: everything, when the folder was
  // theirs to change.
  const bool cleared = verdict == FolderVerdict::kEmpty ? EmptyFolder(path) : RemoveForeignEntries(path, removed);
  if (!cleared) return FolderOutcome::kRefused;
  if (created) return FolderOutcome::kCreated;
  switch (verdict) {
    case FolderVerdict::kKeep:
      return FolderOutcome::kKept;
    case FolderVerdict::kTakeBack:
      return FolderOutcome::kTakenBack;
    case FolderVerdict::kEmpty:
      break;
  }
  return FolderOutcome::kEmptied;
}

bool EnsureProtectedFolder(const std::string& path) {
  std::vector<std::string> removed;
  const FolderOutcome outcome = SecureAgentFolder(path, &removed);
  for (const std::string& line : removed) UtTrace(line);
  UtTrace(FolderOutcomeTrace(outcome, path));
  return outcome != FolderOutcome::kRefused;
}

bool ForEachFolderEntry(const std::string& folder, const std::function<bool(const WIN32_FIND_DATAA&)>& visit) {
  WIN32_FIND_DATAA entry{};
  qv::UniqueFindHandle find(::FindFirstFileA(JoinFolderAndName(folder, "*").c_str(), &entry));
  if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const char* name = entry.cFileName;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    if (!visit(entry)) return false;
  } while (::FindNextFileA(find.get(), &entry));
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

bool EmptyFolder(const std::string& folder) {
  bool all = true;
  const bool listed = ForEachFolderEntry(folder, [&](const WIN32_FIND_DATAA& entry) {
    all = RemoveEntry(JoinFolderAndName(folder, entry.cFileName), entry) && all;
    return true;
  });
  return listed && all;
}

bool IsAdministratorsOnlyFile(HANDLE file) {
  SecurityDescription description;
  return ReadSecurityDescription(file, description) &&
         JudgeAgentFile(description, SystemOwnerTrust()) == FileVerdict::kUse;
}

bool IsAdministratorsOnlyFile(const std::string& path) {
  qv::UniqueFileHandle file(::CreateFileA(path.c_str(), READ_CONTROL,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return false;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
  return IsAdministratorsOnlyFile(file.get());
}

}  // namespace qv::updateclient
