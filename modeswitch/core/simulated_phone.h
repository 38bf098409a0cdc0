// A phone that answers the vendor commands in memory: the stand-in for a real phone in native
// tests and in the simulator variant of the library. It records every command it receives.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modeswitch/core/mode_switch.h"

namespace qv::modeswitch {

struct SimulatedPhoneConfig {
  std::map<uint8_t, std::vector<uint8_t>> items{{0x10, {1}}};  // group-2 answers; 0x10 = MTP
  bool firstFormAccepted = true;
  uint32_t secondFormBytes = 1;          // bytes the driver reports for a second-form mode change
  OpenResult openResult = OpenResult::Opened;
  bool exchangeFails = false;
  std::optional<uint32_t> driverBytes;   // replaces the driver's byte count on every exchange
  char driveLetter = 0;                  // when set, only this drive (any case) opens
  bool cdRomDrive = true;                // what the system says the phone's drive is
};

// Applies one `key=value` of the simulator's INI section. Returns false, with a reason, for an
// unknown key or a value out of range; the configuration is then left as it was.
bool ApplySimulatorSetting(SimulatedPhoneConfig& config, std::string_view key,
                           std::string_view value, std::string& error);

// The simulator's INI section as read from disk: `key=value` entries separated by NUL or newline
// characters (blanks around key and value are ignored). `log` names the command log file; every
// other key goes to ApplySimulatorSetting. Entries that do not apply are listed in `errors`.
struct SimulatorSettings {
  SimulatedPhoneConfig phone;
  std::string logPath;
  std::vector<std::string> errors;
};
SimulatorSettings ParseSimulatorSection(std::string_view entries);

// "F10103000000": a command block as upper-case hex digits.
std::string FormatCommandBlock(const uint8_t* cdb, size_t length);

struct ReceivedCommand {
  std::string devicePath;
  std::array<uint8_t, kHeaderSize> header{};
  std::array<uint8_t, kCdbLength> cdb{};
  uint32_t inLength = 0;
  uint32_t outLength = 0;
  bool arrivedZeroed = false;  // everything after the header was zero when the request came in
};

class SimulatedPhone : public PhoneLink {
 public:
  explicit SimulatedPhone(SimulatedPhoneConfig config = {}) : m_config(std::move(config)) {}

  bool IsCdRomDrive(char letter) override;
  OpenResult Open(const char* devicePath) override;
  bool Exchange(PassThroughBuffer& buffer, uint32_t inLength, uint32_t outLength,
                uint32_t& bytesReturned) override;
  void Close() override;

  SimulatedPhoneConfig& config() { return m_config; }
  const std::vector<ReceivedCommand>& received() const { return m_received; }
  const std::vector<std::string>& openAttempts() const { return m_openAttempts; }
  int openCount() const { return m_openCount; }
  int closeCount() const { return m_closeCount; }

 private:
  uint32_t Answer(PassThroughBuffer& buffer, bool& accepted) const;

  SimulatedPhoneConfig m_config;
  std::vector<ReceivedCommand> m_received;
  std::vector<std::string> m_openAttempts;
  std::string m_openPath;
  int m_openCount = 0;
  int m_closeCount = 0;
};

}  // namespace qv::modeswitch
