// Files and folders of the workflow over the system calls: existence, copies and deletions that
// respect links, the user's folders, INI values and file versions.
#include "bootstrap/provisioning/files.h"

#include <shlobj.h>

#include "bootstrap/core/path_text.h"
#include "bootstrap/core/version_text.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"
#include "common/win/held_file.h"
#include "common/win/version_resource.h"

BOOL IsExistFile(const std::wstring& path) {
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  return file ? TRUE : FALSE;
}

std::wstring GetFileVersionString(const std::wstring& path) {
  qv::CVersionResource resource;
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
  const DWORD error = ::GetLastError();
  // A target that could not be replaced (held open by a running copy of the program, say) stays
  // in use only when it already is the source's copy, byte for byte: an older or planted file, or
  // one whose source is missing, is no copy.
  if (qv::CHeldFile::Open(source).HasSameBytes(qv::CHeldFile::Open(target))) return TRUE;
  ::SetLastError(error);  // the copy's own error, for its caller
  return FALSE;
}

BOOL MoveFileOverwrite(const std::wstring& source, const std::wstring& target) {
  ClearReadOnly(target);
  if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return TRUE;
  return FALSE;
}

std::wstring GetBaseFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_TEMPLATES, FALSE)) return folder;
  folder[0] = L'\0';
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE)) return folder;
  return std::wstring();
}

std::wstring GetIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t value[MAX_PATH] = {};
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, MAX_PATH, file.c_str());
  value[MAX_PATH - 1] = L'\0';
  return value;
}
