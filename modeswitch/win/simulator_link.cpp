// The simulator variant's phone link: a simulated phone configured by the INI file named in the
// environment variable QV_PHONE_SIM (section [phone]), read afresh for every command so a test
// can change the phone between calls. Each command block the phone receives is appended to the
// `log` file as one line of hex digits. Never part of a shipped build.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "modeswitch/core/simulated_phone.h"
#include "modeswitch/win/phone_link_provider.h"

namespace qv::modeswitch {
namespace {

constexpr char kConfigVariable[] = "QV_PHONE_SIM";

std::string ReadConfigSection() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA(kConfigVariable, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::vector<char> section(32768);
  const DWORD used = ::GetPrivateProfileSectionA("phone", section.data(),
                                                 static_cast<DWORD>(section.size()), path);
  return std::string(section.data(), used);
}

void AppendLine(const std::string& file, const std::string& line) {
  UniqueFileHandle log(::CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  ::WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

class SimulatorPhoneLink final : public PhoneLink {
 public:
  // The drive type comes from the settings (`drive_type`), as the rest of the simulated phone.
  bool IsCdRomDrive(char /*letter*/) override {
    if (ParseSimulatorSection(ReadConfigSection()).phone.cdRomDrive) return true;
    ::SetLastError(ERROR_INVALID_DRIVE);
    return false;
  }

  OpenResult Open(const char* devicePath) override {
    SimulatorSettings settings = ParseSimulatorSection(ReadConfigSection());
    for (const std::string& error : settings.errors) {
      ::OutputDebugStringA(("QV_PHONE_SIM: ignored " + error + "\n").c_str());
    }
    m_logPath = settings.logPath;
    m_phone.emplace(std::move(settings.phone));
    const OpenResult result = m_phone->Open(devicePath);
    if (result == OpenResult::AccessDenied) ::SetLastError(ERROR_ACCESS_DENIED);
    if (result == OpenResult::Failed) ::SetLastError(ERROR_FILE_NOT_FOUND);
    return result;
  }

  bool Exchange(PassThroughBuffer& buffer, uint32_t inLength, uint32_t outLength,
                uint32_t& bytesReturned) override {
    const bool ok = m_phone->Exchange(buffer, inLength, outLength, bytesReturned);
    if (!m_logPath.empty()) {
      const auto& cdb = m_phone->received().back().cdb;
      AppendLine(m_logPath, FormatCommandBlock(cdb.data(), cdb.size()));
    }
    ::SetLastError(ok ? ERROR_SUCCESS : ERROR_IO_DEVICE);
    return ok;
  }

  void Close() override {
    if (m_phone) m_phone->Close();
  }

 private:
  std::optional<SimulatedPhone> m_phone;
  std::string m_logPath;
};

}  // namespace

PhoneLink& ThisBuildsPhoneLink() {
  static SimulatorPhoneLink link;
  return link;
}

}  // namespace qv::modeswitch
