// A folder held while it is used: every folder from a root the system gives down to it is opened as
// itself (never through a link), refused when it is a link, and kept open without sharing delete,
// so that none of them can be renamed, replaced, removed or made a link until the hold ends. Files
// may still be created, read and written in it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/win/handles.h"

namespace qv {

class CHeldFolder {
 public:
  CHeldFolder() = default;

  // Holds `folder` and the folders on the way to it from `root` (the root included; a folder not
  // below the root is held alone). Not held (Error() says why) when one of them is missing, a link
  // or a file, or is in use by someone who does not share it.
  static CHeldFolder Open(const std::wstring& root, const std::wstring& folder);

  bool IsHeld() const { return !m_steps.empty(); }
  DWORD Error() const { return m_nError; }
  const std::wstring& Path() const { return m_strPath; }

  // Whether the open file `file` lies in this folder under `name` (no folder part).
  bool Contains(HANDLE file, const std::wstring& name) const;

 private:
  std::vector<UniqueFileHandle> m_steps;  // from the root down; the held folder last
  std::wstring m_strPath;
  DWORD m_nError = ERROR_SUCCESS;
};

}  // namespace qv
