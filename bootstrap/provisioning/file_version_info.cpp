// Loads a version resource and picks its string table: the user's language, then its primary
// language, then neutral, then English, then the first table.
#include "bootstrap/provisioning/file_version_info.h"

#include <cstring>
#include <new>
#include <cwchar>
#include <vector>

namespace {

const wchar_t* const kStringNames[12] = {L"CompanyName",    L"FileDescription", L"FileVersion",    L"InternalName",
                                         L"LegalCopyright", L"OriginalFileName", L"ProductName",   L"ProductVersion",
                                         L"Comments",       L"LegalTrademarks",  L"PrivateBuild",  L"SpecialBuild"};

WORD HalfOf(DWORD most, DWORD least, int index) {
  switch (index) {
    case 0: return LOWORD(least);
    case 1: return HIWORD(least);
    case 2: return LOWORD(most);
    case 3: return HIWORD(most);
    default: return 0;
  }
}

}  // namespace

CFileVersionInfo::CFileVersionInfo() { Reset(); }
CFileVersionInfo::CFileVersionInfo(const CFileVersionInfo& other) { *this = other; }
CFileVersionInfo::~CFileVersionInfo() = default;

CFileVersionInfo& CFileVersionInfo::operator=(const CFileVersionInfo& other) {
  if (this != &other) {
    m_fixed = other.m_fixed;
    for (int i = 0; i < 12; ++i) m_strings[i] = other.m_strings[i];
  }
  return *this;
}

void CFileVersionInfo::Reset() {
  std::memset(&m_fixed, 0, sizeof(m_fixed));
  for (std::wstring& text : m_strings) text.clear();
}

BOOL CFileVersionInfo::Create(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  if (!::GetModuleFileNameW(module, path, MAX_PATH)) {
    Reset();
    return FALSE;
  }
  return Create(std::wstring(path));
}

BOOL CFileVersionInfo::Create(const std::wstring& fileName) {
  Reset();
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(fileName.c_str(), &ignored);
  if (size == 0) return FALSE;
  std::vector<BYTE> info;
  try {
    info.resize(size);
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  if (!::GetFileVersionInfoW(fileName.c_str(), 0, size, info.data())) return FALSE;

  void* block = nullptr;
  UINT length = 0;
  if (::VerQueryValueW(info.data(), L"\\", &block, &length) && block && length == sizeof(VS_FIXEDFILEINFO)) {
    std::memcpy(&m_fixed, block, sizeof(m_fixed));
  }

  // Without a readable translation table, US English in Unicode.
  DWORD id = MAKELONG(0x0409, 0x04B0);
  if (::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &block, &length) && block && length >= 4) {
    WORD user = ::GetUserDefaultLangID();
    if (!GetTranslationId(block, length, user, id, FALSE) && !GetTranslationId(block, length, user, id, TRUE) &&
        !GetTranslationId(block, length, 0, id, TRUE) && !GetTranslationId(block, length, 9, id, TRUE)) {
      std::memcpy(&id, block, sizeof(id));
    }
  }
  wchar_t prefix[64];
  ::_snwprintf(prefix, 64,  // the system C library's formatter; the key always fits
                L"\\StringFileInfo\\%04X%04X\\", LOWORD(id), HIWORD(id));
  for (int i = 0; i < 12; ++i) {
    std::wstring key = std::wstring(prefix) + kStringNames[i];
    if (::VerQueryValueW(info.data(), key.c_str(), &block, &length) && block && length > 0) {
      const wchar_t* text = static_cast<const wchar_t*>(block);
      m_strings[i].assign(text, ::wcsnlen(text, length));  // a damaged resource may lack its terminator
    }
  }
  return TRUE;
}

BOOL CFileVersionInfo::GetTranslationId(const void* table, UINT size, WORD language, DWORD& id,
                                        BOOL primaryEnough) const {
  const BYTE* bytes = static_cast<const BYTE*>(table);
  for (int pass = 0; pass < (primaryEnough ? 2 : 1); ++pass) {
    for (UINT at = 0; at + 4 <= size; at += 4) {
      DWORD entry;
      std::memcpy(&entry, bytes + at, sizeof(entry));
      bool match = pass == 0 ? LOWORD(entry) == language : (LOWORD(entry) & 0xFF) == (language & 0xFF);
      if (match) {
        id = entry;
        return TRUE;
      }
    }
  }
  return FALSE;
}

WORD CFileVersionInfo::GetFileVersion(int index) const {
  return HalfOf(m_fixed.dwFileVersionMS, m_fixed.dwFileVersionLS, index);
}

WORD CFileVersionInfo::GetProductVersion(int index) const {
  return HalfOf(m_fixed.dwProductVersionMS, m_fixed.dwProductVersionLS, index);
}

time_t CFileVersionInfo::GetFileDate() const {
  FILETIME utc{m_fixed.dwFileDateLS, m_fixed.dwFileDateMS}, local{};
  SYSTEMTIME parts{};
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &parts)) return 0;
  std::tm calendar{};
  calendar.tm_year = parts.wYear - 1900;
  calendar.tm_mon = parts.wMonth - 1;
  calendar.tm_mday = parts.wDay;
  calendar.tm_hour = parts.wHour;
  calendar.tm_min = parts.wMinute;
  calendar.tm_sec = parts.wSecond;
  calendar.tm_isdst = -1;
  return std::mktime(&calendar);
}

DWORD CFileVersionInfo::GetFileFlagsMask() const { return m_fixed.dwFileFlagsMask; }
DWORD CFileVersionInfo::GetFileFlags() const { return m_fixed.dwFileFlags; }
DWORD CFileVersionInfo::GetFileOs() const { return m_fixed.dwFileOS; }
DWORD CFileVersionInfo::GetFileType() const { return m_fixed.dwFileType; }
DWORD CFileVersionInfo::GetFileSubtype() const { return m_fixed.dwFileSubtype; }
std::wstring CFileVersionInfo::GetCompanyName() const { return m_strings[0]; }
std::wstring CFileVersionInfo::GetFileDescription() const { return m_strings[1]; }
std::wstring CFileVersionInfo::GetFileVersion() const { return m_strings[2]; }
std::wstring CFileVersionInfo::GetInternalName() const { return m_strings[3]; }
std::wstring CFileVersionInfo::GetLegalCopyright() const { return m_strings[4]; }
std::wstring CFileVersionInfo::GetOriginalFileName() const { return m_strings[5]; }
std::wstring CFileVersionInfo::GetProductName() const { return m_strings[6]; }
std::wstring CFileVersionInfo::GetProductVersion() const { return m_strings[7]; }
std::wstring CFileVersionInfo::GetComments() const { return m_strings[8]; }
std::wstring CFileVersionInfo::GetLegalTrademarks() const { return m_strings[9]; }
std::wstring CFileVersionInfo::GetPrivateBuild() const { return m_strings[10]; }
std::wstring CFileVersionInfo::GetSpecialBuild() const { return m_strings[11]; }

