// One registry key opened or created for writing, closed by its owner. Failures are reported as
// false and leave the writer without a key; every write is flushed at once.
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

 private:
  qv::UniqueRegKey m_hKey;
};

}  // namespace qv::updateclient
