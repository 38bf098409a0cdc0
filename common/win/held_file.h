// A proven file is a held file: opened without following a link, refused when it is a link, a
// folder or has another hard link, and held so that nobody can write, replace or delete it until
// the use that was checked has begun (a program started, an installer ended, a library loaded).
#pragma once

#include <windows.h>

#include <string>

#include "common/win/handles.h"

namespace qv {

class CHeldFile {
 public:
  CHeldFile() = default;

  // Opens |path| for reading, others may only read. Not held (IsHeld false, Error() says why)
  // when it cannot be opened so, or is a reparse point, a folder or a file with more than one
  // hard link.
  static CHeldFile Open(const std::wstring& path);

  bool IsHeld() const { return static_cast<bool>(m_hFile); }
  // The open file, for checks on exactly what is held (null when not held).
  HANDLE Handle() const { return m_hFile.get(); }
  DWORD Error() const { return m_nError; }
  const std::wstring& Path() const { return m_strPath; }

  // The file's first bytes, at most |bytes| of them (fewer when it is shorter), read from the held
  // handle; false when it is not held or cannot be read.
  bool ReadHead(size_t bytes, std::string& head) const;

  // Whether this file and |other|, both held, hold the same bytes.
  bool HasSameBytes(const CHeldFile& other) const;

 private:
  UniqueFileHandle m_hFile;
  std::wstring m_strPath;
  DWORD m_nError = ERROR_SUCCESS;
};

}  // namespace qv
