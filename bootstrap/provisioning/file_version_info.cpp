// The version-information class over the program's version-resource reader: the fixed block and
// the twelve strings of the table chosen for the user's language.
#include "bootstrap/provisioning/file_version_info.h"

#include <cstring>
#include <vector>

#include "bootstrap/core/version_text.h"
#include "common/win/version_resource.h"

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
  qv::CVersionResource resource;
  if (!resource.Load(fileName)) return FALSE;
  if (const VS_FIXEDFILEINFO* fixed = resource.FixedInfo()) m_fixed = *fixed;
  const uint32_t table = qv::bootstrap::ChooseStringTable(resource.Translations(), ::GetUserDefaultLangID());
  for (int i = 0; i < 12; ++i) m_strings[i] = resource.String(table, kStringNames[i]);
  return TRUE;
}

BOOL CFileVersionInfo::GetTranslationId(const void* table, UINT size, WORD language, DWORD& id,
                                        BOOL primaryEnough) const {
  std::vector<uint32_t> entries(size / 4);
  if (!entries.empty()) std::memcpy(entries.data(), table, entries.size() * 4);
  uint32_t found = 0;
  if (!qv::bootstrap::FindStringTable(entries, language, primaryEnough != 0, found)) return FALSE;
  id = found;
  return TRUE;
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

