// One registry key opened or created for writing, closed by its owner. Failures are reported as
// false (the system's code kept in Error()) and leave the writer without a key; every write is
// flushed at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/win/handles.h"

namespace qv::updateclient {

class CRegKeyWriter {
 public:
  bool Open(HKEY root, const std::string& subKey);
  bool Create(HKEY root, const std::string& subKey);
  // Opens the key, creating it when it cannot be opened.
  bool OpenOrCreate(HKEY root, const std::string& subKey) { return Open(root, subKey) || Create(root, subKey); }
  // A text value whose byte count is the text's length, without the terminating NUL.
  bool SetText(const std::string& name, const std::string& text);
  bool SetNumber(const std::string& name, uint32_t value);
  void Close() { m_hKey.reset(); }
  // The system's code of the last call that failed (ERROR_SUCCESS when none did).
  LONG Error() const { return m_nError; }

 private:
  bool Done(LONG status);

  qv::UniqueRegKey m_hKey;
  LONG m_nError = ERROR_SUCCESS;
};

}  // namespace qv::updateclient
