// A file's version resource, read once: its fixed block, its list of string tables and the
// strings in them. The one place where the program and the update library ask the system for
// version information.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class CVersionResource {
 public:
  // Reads the resource of the file at `path`; FALSE (and nothing held) when it has none.
  BOOL Load(const std::wstring& path);
  // The program's own resource.
  BOOL LoadOwnProgram();

  // The fixed block, or nullptr when the resource has none of the right size.
  const VS_FIXEDFILEINFO* FixedInfo() const;
  // The translation table: language in the low half of each entry, code page in the high half.
  std::vector<uint32_t> Translations() const;
  // One string of one table, never read past what the resource holds; empty when missing.
  std::wstring String(uint32_t translation, const wchar_t* name) const;

 private:
  // The value under `key`, with its length in the resource's units; nullptr when missing.
  const void* Query(const std::wstring& key, UINT& length) const;

  mutable std::vector<BYTE> m_data;  // VerQueryValueW takes a writable block
};

}  // namespace qv
