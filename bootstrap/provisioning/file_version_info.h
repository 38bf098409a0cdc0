// Reader of a file's version resource: the fixed block and the twelve standard strings in the
// best-matching language. Exported from the program with all its members.
#pragma once

#include <windows.h>

#include <string>

#ifdef QV_EXPORT_FILE_VERSION_INFO
#define QV_FILE_VERSION_INFO_API __declspec(dllexport)
#else
#define QV_FILE_VERSION_INFO_API
#endif

class QV_FILE_VERSION_INFO_API CFileVersionInfo {
 public:
  CFileVersionInfo();
  CFileVersionInfo(const CFileVersionInfo& other);
  CFileVersionInfo& operator=(const CFileVersionInfo& other);
  virtual ~CFileVersionInfo();

  BOOL Create(HMODULE module);
  BOOL Create(const std::wstring& fileName);

  WORD GetFileVersion(int index) const;
  WORD GetProductVersion(int index) const;
  DWORD GetFileFlagsMask() const { return m_fixed.dwFileFlagsMask; }
  DWORD GetFileFlags() const { return m_fixed.dwFileFlags; }
  DWORD GetFileOs() const { return m_fixed.dwFileOS; }
  DWORD GetFileType() const { return m_fixed.dwFileType; }
  DWORD GetFileSubtype() const { return m_fixed.dwFileSubtype; }
  FILETIME GetFileDate() const;

  std::wstring GetCompanyName() const { return m_strings[0]; }
  std::wstring GetFileDescription() const { return m_strings[1]; }
  std::wstring GetFileVersion() const { return m_strings[2]; }
  std::wstring GetInternalName() const { return m_strings[3]; }
  std::wstring GetLegalCopyright() const { return m_strings[4]; }
  std::wstring GetOriginalFileName() const { return m_strings[5]; }
  std::wstring GetProductName() const { return m_strings[6]; }
  std::wstring GetProductVersion() const { return m_strings[7]; }
  std::wstring GetComments() const { return m_strings[8]; }
  std::wstring GetLegalTrademarks() const { return m_strings[9]; }
  std::wstring GetPrivateBuild() const { return m_strings[10]; }
  std::wstring GetSpecialBuild() const { return m_strings[11]; }

 protected:
  virtual void Reset();
  BOOL GetTranslationId(const void* table, UINT size, WORD language, DWORD& id, BOOL primaryEnough) const;

 private:
  VS_FIXEDFILEINFO m_fixed;
  std::wstring m_strings[12];
};
