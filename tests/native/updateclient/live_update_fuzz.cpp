// libFuzzer target of the live-update entry extraction: any list and any marker give texts that
// occur in the list, and never a read outside it (the sanitizers check that). The package name
// taken from the address is checked by the contained-name target, on any address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "updateclient/core/agent_rules.h"

using namespace qv::updateclient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first line is the marker, the rest the list.
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  std::string marker = newline == std::string::npos ? "name='QOREUTProg'" : input.substr(0, newline);
  std::string list = newline == std::string::npos ? input : input.substr(newline + 1);
  LiveUpdateEntry entry = FindLiveUpdateEntry(list, marker);
  if (!entry.found && (!entry.version.empty() || !entry.address.empty())) std::abort();
  if (entry.version.size() > list.size() || entry.address.size() > list.size()) std::abort();
  if (!entry.version.empty() && list.find(entry.version) == std::string::npos) std::abort();
  if (!entry.address.empty() && list.find(entry.address) == std::string::npos) std::abort();
  return 0;
}
