// In-memory phone: answers group 2 from its item table, accepts or refuses mode changes as
// configured, accepts drive control and eject with no data, and records what it receives.
#include "modeswitch/core/simulated_phone.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace qv::modeswitch {
namespace {

bool ParseNumber(std::string_view text, uint32_t max, uint32_t& out, int base = 10) {
  if (text.empty()) return false;
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) return false;
  out = value;
  return true;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0 || text.size() / 2 > kDataCapacity) return false;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    uint32_t byte = 0;
    if (!ParseNumber(text.substr(i, 2), 0xFF, byte, 16)) return false;
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  out = std::move(bytes);
  return true;
}

bool SameLetter(char a, char b) {
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return upper(a) == upper(b);
}

}  // namespace

bool ApplySimulatorSetting(SimulatedPhoneConfig& config, std::string_view key,
                           std::string_view value, std::string& error) {
  uint32_t number = 0;
  bool ok = true;
  if (key == "selected_mode") {
    ok = ParseNumber(value, 0xFF, number);
    if (ok) config.items[kItemSelectedMode] = {static_cast<uint8_t>(number)};
  } else if (key == "first_form") {
    ok = value == "accept" || value == "fail";
    if (ok) config.firstFormAccepted = value == "accept";
  } else if (key == "second_form_bytes") {
    ok = ParseNumber(value, kDataCapacity, number);
    if (ok) config.secondFormBytes = number;
  } else if (key == "open") {
    ok = value == "ok" || value == "denied" || value == "missing";
    if (ok) {
      config.openResult = value == "ok"       ? OpenResult::Opened
                          : value == "denied" ? OpenResult::AccessDenied
                                              : OpenResult::Failed;
    }
  } else if (key == "exchange") {
    ok = value == "ok" || value == "fail";
    if (ok) config.exchangeFails = value == "fail";
  } else if (key == "driver_bytes") {
    ok = ParseNumber(value, UINT32_MAX, number);
    if (ok) config.driverBytes = number;
  } else if (key == "drive_type") {
    ok = value == "cdrom" || value == "fixed";
    if (ok) config.cdRomDrive = value == "cdrom";
  } else if (key == "drive") {
    ok = value.size() == 1 && IsDriveLetter(value[0]);
    if (ok) config.driveLetter = value[0];
  } else if (key.substr(0, 5) == "item_") {
    std::vector<uint8_t> bytes;
    ok = ParseNumber(key.substr(5), 0xFF, number, 16) && ParseHexBytes(value, bytes);
    if (ok) config.items[static_cast<uint8_t>(number)] = std::move(bytes);
  } else {
    error = "unknown key " + std::string(key);
    return false;
  }
  if (!ok) error = "bad value for " + std::string(key) + ": " + std::string(value);
  return ok;
}

SimulatorSettings ParseSimulatorSection(std::string_view entries) {
  auto trim = [](std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return std::string_view();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
  };
  SimulatorSettings settings;
  while (!entries.empty()) {
    const size_t end = std::min(entries.find('\0'), entries.find('\n'));
    const std::string_view entry = trim(entries.substr(0, end));
    entries = end == std::string_view::npos ? std::string_view() : entries.substr(end + 1);
    if (entry.empty() || entry[0] == ';' || entry[0] == '#') continue;
    const size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      settings.errors.push_back("not a key=value entry: " + std::string(entry));
      continue;
    }
    const std::string_view key = trim(entry.substr(0, equals));
    const std::string_view value = trim(entry.substr(equals + 1));
    std::string error;
    if (key == "log") {
      settings.logPath = value;
    } else if (!ApplySimulatorSetting(settings.phone, key, value, error)) {
      settings.errors.push_back(error);
    }
  }
  return settings;
}

std::string FormatCommandBlock(const uint8_t* cdb, size_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[cdb[i] >> 4];
    text += kDigits[cdb[i] & 0x0F];
  }
  return text;
}

bool SimulatedPhone::IsCdRomDrive(char /*letter*/) { return m_config.cdRomDrive; }

OpenResult SimulatedPhone::Open(const char* devicePath) {
  m_openAttempts.emplace_back(devicePath);
  const bool otherDrive = m_config.driveLetter != 0 &&
                          !(std::strlen(devicePath) > 4 && SameLetter(devicePath[4], m_config.driveLetter));
  const OpenResult result = otherDrive ? OpenResult::Failed : m_config.openResult;
  if (result == OpenResult::Opened) {
    m_openPath = devicePath;
    ++m_openCount;
  }
  return result;
}

void SimulatedPhone::Close() {
  ++m_closeCount;
  m_openPath.clear();
}

bool SimulatedPhone::Exchange(PassThroughBuffer& buffer, uint32_t inLength, uint32_t outLength,
                              uint32_t& bytesReturned) {
  ReceivedCommand command;
  command.devicePath = m_openPath;
  std::memcpy(command.header.data(), &buffer.Header, kHeaderSize);
  std::memcpy(command.cdb.data(), buffer.Header.Cdb, kCdbLength);
  command.inLength = inLength;
  command.outLength = outLength;
  const auto* rest = reinterpret_cast<const uint8_t*>(&buffer) + kHeaderSize;
  command.arrivedZeroed = std::all_of(rest, rest + (kBufferSize - kHeaderSize), [](uint8_t b) { return b == 0; });
  m_received.push_back(command);

  if (m_config.exchangeFails) return false;
  bool accepted = true;
  const uint32_t transferred = Answer(buffer, accepted);
  if (!accepted) return false;
  bytesReturned = m_config.driverBytes.value_or(kDataOffset + transferred);
  return true;
}

// Writes the phone's answer into the data area; returns how many bytes it wrote.
uint32_t SimulatedPhone::Answer(PassThroughBuffer& buffer, bool& accepted) const {
  const uint8_t* cdb = buffer.Header.Cdb;
  if (cdb[0] != kVendorOpcode) return 0;  // eject and anything else: accepted, no data
  const uint8_t group = cdb[1];
  const uint8_t code = cdb[2];
  if (group == kGroupChangeMode) {
    if ((code & 0x80) == 0) {
      accepted = m_config.firstFormAccepted;
      return 0;
    }
    const uint32_t bytes = std::min(m_config.secondFormBytes, kDataCapacity);
    std::memset(buffer.Data, 0x01, bytes);
    return bytes;
  }
  if (group == kGroupPhoneData) {
    const auto item = m_config.items.find(code);
    if (item == m_config.items.end()) return 0;
    const uint32_t bytes = std::min<uint32_t>(
        {static_cast<uint32_t>(item->second.size()), buffer.Header.DataTransferLength, kDataCapacity});
    if (bytes > 0) std::memcpy(buffer.Data, item->second.data(), bytes);
    return bytes;
  }
  return 0;
}

}  // namespace qv::modeswitch
