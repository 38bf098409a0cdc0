// Version resources through GetFileVersionInfoW and VerQueryValueW.
#include "common/win/version_resource.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "common/core/string_info_key.h"

namespace qv {

BOOL CVersionResource::Load(const std::wstring& path) {
  m_data.clear();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return FALSE;
  try {
    m_data.resize(size);
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, m_data.data())) {
    m_data.clear();
    return FALSE;
  }
  return TRUE;
}

BOOL CVersionResource::LoadOwnProgram() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    m_data.clear();
    return FALSE;
  }
  return Load(std::wstring(path, length));
}

const void* CVersionResource::Query(const std::wstring& key, UINT& length) const {
  void* value = nullptr;
  length = 0;
  if (m_data.empty() || !::VerQueryValueW(m_data.data(), key.c_str(), &value, &length)) return nullptr;
  return value;
}

const VS_FIXEDFILEINFO* CVersionResource::FixedInfo() const {
  UINT length = 0;
  const void* block = Query(L"\\", length);
  return block && length >= sizeof(VS_FIXEDFILEINFO) ? static_cast<const VS_FIXEDFILEINFO*>(block) : nullptr;
}

std::vector<uint32_t> CVersionResource::Translations() const {
  UINT length = 0;
  const BYTE* table = static_cast<const BYTE*>(Query(L"\\VarFileInfo\\Translation", length));
  std::vector<uint32_t> entries;
  for (UINT at = 0; table && at + 4 <= length; at += 4) {
    uint32_t entry = 0;
    std::memcpy(&entry, table + at, sizeof(entry));
    entries.push_back(entry);
  }
  return entries;
}

std::wstring CVersionResource::String(uint32_t translation, const wchar_t* name) const {
  UINT length = 0;
  const wchar_t* text = static_cast<const wchar_t*>(Query(FormatStringInfoKey(translation, name), length));
  if (!text || length == 0) return std::wstring();
  return std::wstring(text, ::wcsnlen(text, length));  // a damaged resource may lack its terminator
}

}  // namespace qv
