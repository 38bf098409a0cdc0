// The workflow's PC over the system calls: the file, network and profile routines of the support
// library, the update library, the system's folders, program starts and the trace log.
#pragma once

#include "bootstrap/core/pc_system.h"
#include "bootstrap/provisioning/package_signature.h"
#include "common/core/signature_policy.h"

class CDriverMgr;

class CWindowsPc final : public qv::bootstrap::PcSystem {
 public:
  // `driverMgr` names Program Files and the run's config.ini (without one both are unknown);
  // `policy` says what the phone asks of the signature of a program started from the package
  // folder. Both outlive this.
  CWindowsPc(CDriverMgr* driverMgr, const qv::SignaturePolicy& policy) : m_pDriverMgr(driverMgr), m_policy(policy) {}

  void Trace(const std::wstring& line) override;
  std::wstring BaseFolder() override;
  bool FileExists(const std::wstring& path) override;
  bool AnythingAt(const std::wstring& path) override;
  bool IsFolder(const std::wstring& path) override;
  qv::bootstrap::FileResult CreateFolder(const std::wstring& path) override;
  void RemoveFolder(const std::wstring& path) override;
  std::unique_ptr<qv::bootstrap::FolderHold> HoldFolder(const std::wstring& folder, unsigned& error) override;
  qv::bootstrap::FileResult MoveFileOver(const std::wstring& source, const std::wstring& target) override;
  std::wstring SystemErrorText(unsigned error) override;
  bool IsFreeOfLinks(const std::wstring& folder, const std::wstring& name) override;
  void RemoveFile(const std::wstring& path) override;
  qv::bootstrap::FileResult CopyFileOver(const std::wstring& source, const std::wstring& target) override;
  std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key) override;
  std::string NarrowText(const std::wstring& text) override;
  bool IsOnline() override;
  qv::bootstrap::DownloadResult Download(const std::wstring& url, const std::wstring& file, const qv::DownloadLimits& limits,
                const std::atomic<int>* cancel, const qv::bootstrap::FolderHold& folder) override;
  qv::bootstrap::PackageQuery CheckPxpc(const std::wstring& programFolder, const std::wstring& phoneFolder,
                                        const std::string& testVersion) override;
  std::unique_ptr<qv::bootstrap::UsageReport> OpenUsageReport(const std::wstring& programFolder,
                                                              const std::wstring& phoneFolder,
                                                              qv::bootstrap::LibraryCall& failure) override;
  qv::bootstrap::ProgramStart StartProgram(const std::wstring& program, const std::wstring& arguments,
                                           const std::wstring& folder) override;
  std::unique_ptr<qv::bootstrap::FileHold> HoldPhonesCopy(const std::wstring& copy, const std::wstring& phone,
                                                          unsigned& copyError, unsigned& phoneError) override;
  std::unique_ptr<qv::bootstrap::FileHold> HoldSignedByMaker(const std::wstring& path) override;
  bool IsSignatureRequired() override;
  std::unique_ptr<qv::bootstrap::FileHold> HoldFile(const std::wstring& path, size_t headBytes, std::string& head) override;
  bool IsHeldSignedByMaker(const qv::bootstrap::FileHold& file) override;
  std::wstring ProgramFilesFolder() override;
  std::wstring SystemFolder() override;
  std::wstring FileVersion(const std::wstring& path) override;
  std::wstring ReadProgramConfig(const std::wstring& section, const std::wstring& key) override;
  bool IsFactoryLine() override;
  bool IsAdministrator() override;
  bool ReadSelectedMode(char driveLetter, unsigned char& answer) override;
  qv::bootstrap::PhoneSwitch SwitchMode(int modeExport, char driveLetter) override;
  uint32_t TickCount() override;
  void Pause(uint32_t milliseconds) override;

  // Readies the signature check on `file` (the program's own) while the run goes on, where the
  // phone asks for the maker's signature.
  void WarmUpSignatureCheck(const std::wstring& file);

 private:
  CSignatureWarmUp m_signatureWarmUp;
  CDriverMgr* m_pDriverMgr;
  const qv::SignaturePolicy& m_policy;
};
