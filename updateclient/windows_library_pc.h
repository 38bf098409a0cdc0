// The library's procedures' PC over the system calls: WinINet, the agent folders' checked files,
// processes, the registry, the locale and the library's two dialogs; the trace goes to UtTrace.
#pragma once

#include "updateclient/core/library_pc.h"

namespace qv::updateclient {

class CWindowsLibraryPc final : public LibraryPc {
 public:
  void Trace(const std::string& line) override;

  bool IsServerReachable(const std::string& host) override;
  std::string GetMarkup(const std::string& url) override;
  void NoteFailureCause(const std::string& cause) override;
  std::string FailureCause() override;
  std::string LocaleCountryCode() override;

  std::string CommonDataFolder() override;
  bool AnythingAt(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::string FileVersionText(const std::string& path) override;
  bool IsFreeOfLinks(const std::string& path) override;
  bool ProtectFolder(const std::string& folder) override;
  bool IsAdministratorsOnly(const std::string& path) override;
  std::unique_ptr<HeldProgram> HoldProgram(const std::string& path) override;
  bool IsSignedByMaker(const qv::SignaturePolicy& policy, const HeldProgram& held) override;
  qv::SignaturePolicy ReadSignaturePolicy() override;
  bool CopyFileOver(const std::string& source, const std::string& target) override;

  uint32_t FindProcess(const std::string& image) override;
  bool EndProcess(uint32_t id, const std::string& expectedImage) override;
  bool IsMutexPresent(const std::string& name) override;
  bool StartProgram(const std::string& path, const std::string& folder, unsigned& error) override;

  RegistryWrite WriteValues(RegistryRoot root, const std::string& subKey,
                            std::initializer_list<RegistryValue> values) override;

  bool AskToInstall(bool alternativeTexts) override;
  DownloadShown ShowDownload(const PackageDownload& download) override;
};

// Where the procedures find the service in this build (service_endpoints.h).
ServiceEndpoints BuiltServiceEndpoints();

}  // namespace qv::updateclient
