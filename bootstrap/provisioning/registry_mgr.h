// Answers whether a registry key exists and can be opened for reading.
#pragma once

#include <windows.h>

#include <string>

class CRegistryMgr {
 public:
  explicit CRegistryMgr(const std::wstring& name) : m_strName(name) {}

  // |root|: 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_USER, 3 HKEY_LOCAL_MACHINE; anything else is FALSE.
  BOOL IsExistKey(int root, const std::wstring& path) const;

 private:
  std::wstring m_strName;  // kept for the caller; not used
};
