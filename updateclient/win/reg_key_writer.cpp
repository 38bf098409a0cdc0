// Registry writes of the agent installation and the update tool launch.
#include "updateclient/win/reg_key_writer.h"


namespace qv::updateclient {

bool CRegKeyWriter::Done(LONG status) {
  m_nError = status;
  return status == ERROR_SUCCESS;
}

bool CRegKeyWriter::Open(HKEY root, const std::string& subKey) {
  if (Done(::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, m_hKey.put()))) return true;
  m_hKey.release();  // a failed call may leave anything in the handle
  return false;
}

bool CRegKeyWriter::Create(HKEY root, const std::string& subKey) {
  if (Done(::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             m_hKey.put(), nullptr))) {
    return true;
  }
  m_hKey.release();
  return false;
}

bool CRegKeyWriter::SetText(const std::string& name, const std::string& text) {
  if (!m_hKey) return Done(ERROR_INVALID_HANDLE);
  const bool written = Done(::RegSetValueExA(m_hKey.get(), name.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.c_str()),
                                             static_cast<DWORD>(text.size())));
  ::RegFlushKey(m_hKey.get());
  return written;
}

bool CRegKeyWriter::SetNumber(const std::string& name, uint32_t value) {
  if (!m_hKey) return Done(ERROR_INVALID_HANDLE);
  DWORD data = value;
  const bool written = Done(::RegSetValueExA(m_hKey.get(), name.c_str(), 0, REG_DWORD,
                                             reinterpret_cast<const BYTE*>(&data), sizeof(data)));
  ::RegFlushKey(m_hKey.get());
  return written;
}

}  // namespace qv::updateclient
