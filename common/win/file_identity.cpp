// Path steps opened with FILE_FLAG_OPEN_REPARSE_POINT, and final paths by GetFinalPathNameByHandleW.
#include "common/win/file_identity.h"

#include <vector>

#include "common/win/handles.h"

namespace qv {

namespace {

// "\\?\C:\x" as "C:\x", "\\?\UNC\server\share" as "\\server\share".
std::wstring WithoutLongPrefix(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

// Calls |get|(buffer, capacity) -> length, growing the buffer while the answer does not fit.
template <typename Get>
std::wstring GrowingText(Get get) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int tries = 0; tries < 4; ++tries) {
    const DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return std::wstring();
}

}  // namespace

std::wstring FinalPathOf(HANDLE handle) {
  return WithoutLongPrefix(GrowingText([handle](wchar_t* buffer, DWORD capacity) {
    return ::GetFinalPathNameByHandleW(handle, buffer, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }));
}

bool IsSamePathText(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool IsLinkOrSharedFile(const BY_HANDLE_FILE_INFORMATION& info) {
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  return !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks > 1;
}

PathStep InspectPathStep(const std::wstring& path) {
  // Both views count: Wine shows a symbolic link to a file only on a handle opened as itself, and
  // one to a folder only in the attributes read by name (its handle opens the folder).
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return PathStep::Link;
  UniqueFileHandle step(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (step && ::GetFileInformationByHandle(step.get(), &info)) {
    return IsLinkOrSharedFile(info) ? PathStep::Link : PathStep::Plain;
  }
  // Not to be opened even for its attributes (held by another program, say): judged by its name.
  return attributes == INVALID_FILE_ATTRIBUTES ? PathStep::Missing : PathStep::Plain;
}

bool IsReachedAt(HANDLE handle, const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos || separator + 1 == path.size()) return false;
  UniqueFileHandle folder(::CreateFileW(path.substr(0, separator).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) return false;
  const std::wstring final = FinalPathOf(handle);
  const std::wstring folderFinal = FinalPathOf(folder.get());
  if (final.empty() || folderFinal.empty()) return false;
  return IsSamePathText(final, folderFinal + L"\\" + path.substr(separator + 1));
}

bool DeleteOpenFile(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

}  // namespace qv
