// Key-exists test; no handle outlives the call.
#include "bootstrap/provisioning/registry_mgr.h"

#include "common/win/handles.h"

BOOL CRegistryMgr::IsExistKey(int root, const std::wstring& path) const {
  HKEY rootKey = nullptr;
  switch (root) {
    case 1: rootKey = HKEY_CLASSES_ROOT; break;
    case 2: rootKey = HKEY_CURRENT_USER; break;
    case 3: rootKey = HKEY_LOCAL_MACHINE; break;
    default: return FALSE;
  }
  qv::UniqueRegKey key;
  return ::RegOpenKeyExW(rootKey, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS ? TRUE : FALSE;
}
