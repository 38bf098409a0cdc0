// File, connectivity, version and INI routines over the system calls that answer them.
#include "bootstrap/provisioning/support.h"

#include <shlobj.h>
#include <wininet.h>

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <new>
#include <vector>

#include "bootstrap/core/path_text.h"
#include "bootstrap/core/version_text.h"
#include "bootstrap/provisioning/connectivity_endpoint.h"
#include "bootstrap/provisioning/version_resource.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"
#include "common/win/held_file.h"

BOOL IsExistFile(const std::wstring& path) {
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  return file ? TRUE : FALSE;
}

BOOL IsConnectedInternet() {
  // Decided once per run; a call during the probe sees the provisional TRUE.
  static std::atomic<int> probeDone{0};
  static std::atomic<BOOL> connected{0};
  WriteTraceLog(L"[IsConnectedInternet()] START.................\r\n");
  if (probeDone.exchange(1) != 0) return connected;
  connected = TRUE;
  connected = ::InternetCheckConnectionW(kConnectivityUrl, FLAG_ICC_FORCE_CONNECTION, 0) ? TRUE : FALSE;
  WriteTraceLog(connected ? L"[IsConnectedInternet()] Connect Check return (TRUE)......\r\n"
                          : L"[IsConnectedInternet()] Connect Check return (FALSE)......\r\n");
  WriteTraceLog(L"[IsConnectedInternet()] END.................\r\n");
  return connected;
}

std::wstring GetFileVersionString(const std::wstring& path) {
  CVersionResource resource;
  const VS_FIXEDFILEINFO* fixed = resource.Load(path) ? resource.FixedInfo() : nullptr;
  if (!fixed) return L"0.0.0.0";
  return qv::bootstrap::FormatFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

namespace {

// A read-only file becomes a plain archived one, so that it can be replaced or deleted.
void ClearReadOnly(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  }
}

}  // namespace

void DeleteFileEvenReadOnly(const std::wstring& path) {
  // On the file opened as itself: a link, a folder or a file with another name is left alone.
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info) || qv::IsLinkOrSharedFile(info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO basic{};  // times of 0 stay as they are
    basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    ::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof(basic));
  }
  qv::DeleteOpenFile(file.get());
}

const std::wstring& GetProfileFolder() {
  static const std::wstring profile = [] {
    wchar_t folder[MAX_PATH] = {};
    return ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROFILE, FALSE) ? std::wstring(folder) : std::wstring();
  }();
  return profile;
}

BOOL IsFreeOfLinks(const std::wstring& folder, const std::wstring& name) {
  auto isLink = [](const std::wstring& path) { return qv::InspectPathStep(path) == qv::PathStep::Link; };
  return qv::bootstrap::IsPathFreeOfLinksBelow(GetProfileFolder(), folder, name, isLink) ? TRUE : FALSE;
}

BOOL CopyFileOverwrite(const std::wstring& source, const std::wstring& target) {
  BOOL existed = IsExistFile(target);
  if (existed) ClearReadOnly(target);
  if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) return TRUE;
  // A target that could not be replaced (held open by a running copy of the program, say) stays
  // in use only when it already is the source's copy, byte for byte: an older or planted file, or
  // one whose source is missing, is no copy.
  if (qv::CHeldFile::Open(source).HasSameBytes(qv::CHeldFile::Open(target))) return TRUE;
  WriteTraceLog(FormatText(L"CopyFile Src[%ls], Target[%ls]\r\n", source.c_str(), target.c_str()));
  return FALSE;
}

std::wstring GetBaseFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_TEMPLATES, FALSE)) return folder;
  folder[0] = L'\0';
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE)) return folder;
  return std::wstring();
}

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t value[MAX_PATH] = {};
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, MAX_PATH, file.c_str());
  value[MAX_PATH - 1] = L'\0';
  return value;
}

// The system C library's formatter rather than the runtime's own printf family (some 25 KB in the
// program): our formats use %d, %u and %ls only, which both read alike. It reports a cut as -1
// and then leaves the text unterminated; either way the loop grows the buffer.
std::wstring FormatText(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    va_list args;
    va_start(args, format);
    int written = ::_vsnwprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (written >= 0 && static_cast<size_t>(written) < buffer.size()) return std::wstring(buffer.data(), written);
    if (buffer.size() >= (1u << 20)) {  // cut, never read past the buffer
      buffer.back() = L'\0';
      return std::wstring(buffer.data());
    }
    buffer.resize(buffer.size() * 4);
  }
}

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
