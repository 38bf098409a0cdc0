// Group membership read from the thread's or the process's token.
#include "bootstrap/provisioning/user_rights.h"

#include <vector>

#include "common/win/handles.h"

BOOL IsUserInGroup(DWORD rid) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  qv::UniqueSid group;
  if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, group.put())) {
    return 0;
  }

  qv::UniqueHandle token;
  const DWORD access = TOKEN_QUERY | TOKEN_DUPLICATE | READ_CONTROL;  // 0x2000A
  if (!::OpenThreadToken(::GetCurrentThread(), access, TRUE, token.put()) &&
      !::OpenProcessToken(::GetCurrentProcess(), access, token.put())) {
    return 0;
  }
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
  if (size == 0) return 0;
  std::vector<BYTE> buffer(size);
  if (!::GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) return 0;
  const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  const DWORD counted = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY | SE_GROUP_OWNER |
                        SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_LOGON_ID | SE_GROUP_RESOURCE;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (::EqualSid(groups->Groups[i].Sid, group.get()) && (groups->Groups[i].Attributes & counted)) return 1;
  }
  return 0;
}
