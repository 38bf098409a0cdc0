// The held file over CreateFileW and GetFileInformationByHandle; the comparison of bytes is the
// portable one.
#include "common/win/held_file.h"

#include "common/core/same_bytes.h"

namespace qv {

namespace {

uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool Rewind(HANDLE file) {
  LARGE_INTEGER start{};
  return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

CHeldFile CHeldFile::Open(const std::wstring& path) {
  CHeldFile held;
  held.m_strPath = path;
  // Without following a link: a link is opened as itself and refused below.
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    held.m_nError = ::GetLastError();
    return held;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) {
    held.m_nError = ::GetLastError();
  } else if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    held.m_nError = ERROR_CANT_ACCESS_FILE;
  } else if (info.nNumberOfLinks > 1) {
    held.m_nError = ERROR_TOO_MANY_LINKS;
  } else {
    held.m_hFile = std::move(file);
  }
  return held;
}

bool CHeldFile::ReadHead(size_t bytes, std::string& head) const {
  head.clear();
  if (!IsHeld() || bytes > 65536 || !Rewind(m_hFile.get())) return false;
  head.resize(bytes);
  DWORD read = 0;
  if (!::ReadFile(m_hFile.get(), &head[0], static_cast<DWORD>(bytes), &read, nullptr)) return false;
  head.resize(read);
  return Rewind(m_hFile.get());
}

bool CHeldFile::HasSameBytes(const CHeldFile& other) const {
  BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
  if (!IsHeld() || !other.IsHeld() || !::GetFileInformationByHandle(m_hFile.get(), &mine) ||
      !::GetFileInformationByHandle(other.m_hFile.get(), &theirs) || !Rewind(m_hFile.get()) ||
      !Rewind(other.m_hFile.get())) {
    return false;
  }
  auto reader = [](HANDLE file) {
    return [file](char* buffer, size_t wanted) -> size_t {
      DWORD read = 0;
      return ::ReadFile(file, buffer, static_cast<DWORD>(wanted), &read, nullptr) ? read : 0;
    };
  };
  return HaveSameBytes(SizeOf(mine), SizeOf(theirs), reader(m_hFile.get()), reader(other.m_hFile.get()));
}

}  // namespace qv
