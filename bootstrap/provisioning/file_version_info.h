// Reader of a file's version resource: the fixed block and the twelve standard strings in the
// best-matching language. Exported from the program with all its members.
#pragma once

#include <windows.h>

#include <ctime>
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
  DWORD GetFileFlagsMask() const;
  DWORD GetFileFlags() const;
  DWORD GetFileOs() const;
  DWORD GetFileType() const;
  DWORD GetFileSubtype() const;
  // The file date of the fixed block as calendar time, daylight saving decided by the system.
  time_t GetFileDate() const;

  std::wstring GetCompanyName() const;
  std::wstring GetFileDescription() const;
  std::wstring GetFileVersion() const;
  std::wstring GetInternalName() const;
  std::wstring GetLegalCopyright() const;
  std::wstring GetOriginalFileName() const;
  std::wstring GetProductName() const;
  std::wstring GetProductVersion() const;
  std::wstring GetComments() const;
  std::wstring GetLegalTrademarks() const;
  std::wstring GetPrivateBuild() const;
  std::wstring GetSpecialBuild() const;

 protected:
  virtual void Reset();
  BOOL GetTranslationId(const void* table, UINT size, WORD language, DWORD& id, BOOL primaryEnough) const;

 private:
  VS_FIXEDFILEINFO m_fixed;
  std::wstring m_strings[12];
};
