// libFuzzer target of the contained-name rule and the names built on it: the package list's and
// the driver installers' names, the agents' package name and cabinet entries, and the plan that
// moves a staged package into place.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/core/path_text.h"
#include "common/core/contained_name.h"
#include "tests/native/fuzz/fuzz_input.h"
#include "updateclient/core/agent_rules.h"

using qv::fuzz::Check;
using qv::fuzz::Shown;
using qv::fuzz::StartsWith;
using qv::fuzz::Widened;

namespace {

const std::set<std::wstring>& DeviceNames() {
  static const std::set<std::wstring> names = [] {
    std::set<std::wstring> all{L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* port : {L"COM", L"LPT"}) {
      for (wchar_t digit : {L'1', L'2', L'3', L'4', L'5', L'6', L'7', L'8', L'9', L'\u00B9', L'\u00B2', L'\u00B3'}) {
        all.insert(std::wstring(port) + digit);
      }
    }
    return all;
  }();
  return names;
}

// Where folder\name leads when the system opens it: the name is read up to its first NUL; a
// rooted name, a drive or a stream leaves the folder; each part loses its trailing dots and
// blanks; a part of dots and blanks with two dots or more climbs one folder; a part whose text
// before its first dot (without the blanks that end it) is a device name opens that device.
// True when the name stays at or below the folder and opens no device.
bool OpensInsideFolder(std::wstring name, std::string& why) {
  name = name.substr(0, name.find(L'\0'));
  if (name.empty()) return why = "names the folder itself", false;
  if (name[0] == L'\\' || name[0] == L'/') return why = "rooted", false;
  if (name.find(L':') != std::wstring::npos) return why = "a drive or a stream", false;
  int depth = 0;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = name.size();
    const std::wstring part = name.substr(start, end - start);
    start = end + 1;
    const size_t dots = static_cast<size_t>(std::count(part.begin(), part.end(), L'.'));
    if (part.find_first_not_of(L". ") == std::wstring::npos) {
      if (dots >= 2 && --depth < 0) return why = "climbs out", false;
      continue;
    }
    std::wstring stem = part.substr(0, part.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    if (DeviceNames().count(qv::fuzz::UpperAscii(stem))) return why = "opens a device", false;
    ++depth;
  }
  return true;
}

void CheckName(const std::wstring& name) {
  std::string why;
  const bool accepted = qv::IsContainedName(name);
  if (accepted && !OpensInsideFolder(name, why)) qv::fuzz::Fail("an accepted name stays in its folder", why + ": " + Shown(name));
  Check(qv::bootstrap::IsSafePackageFileName(name) == accepted, "the program's rule is the shared one", name);
}

void CheckNarrowName(const std::string& name) {
  const bool accepted = qv::IsContainedName(name);
  Check(accepted == qv::IsContainedName(Widened(name)), "the narrow and the wide rule agree", name);
  Check(qv::updateclient::IsSafeCabinetEntryName(name) == accepted, "cabinet entries follow the rule", name);
}

void CheckPackageFileName(const std::string& address) {
  const std::string name = qv::updateclient::PackageFileName(address);
  const std::string last = address.substr(address.rfind('/') + 1);
  if (name.empty()) {
    Check(last.find('\\') != std::string::npos || !qv::IsContainedName(last), "a plain contained name is taken",
          address);
    return;
  }
  Check(name == last, "the package's name is the address's last part", address);
  Check(name.find('\\') == std::string::npos && name.find('/') == std::string::npos && qv::IsContainedName(name),
        "the package's name is one plain contained part", address);
}

void CheckReplacementPlan(const std::vector<std::string>& staged) {
  const qv::updateclient::ReplacementPlan plan = qv::updateclient::PlanReplacement(staged);
  std::vector<std::string> kept;
  std::copy_if(staged.begin(), staged.end(), std::back_inserter(kept),
               [](const std::string& name) { return qv::IsContainedName(name); });
  Check(plan.files == kept, "the plan moves every contained file, in order, and nothing else");
  for (size_t i = 0; i < plan.folders.size(); ++i) {
    const std::string& folder = plan.folders[i];
    Check(std::count(plan.folders.begin(), plan.folders.end(), folder) == 1, "each folder is made once", folder);
    const size_t slash = folder.rfind('\\');
    if (slash != std::string::npos) {
      const auto parent = std::find(plan.folders.begin(), plan.folders.end(), folder.substr(0, slash));
      Check(parent != plan.folders.end() && parent < plan.folders.begin() + static_cast<long>(i),
            "a folder's parent is made before it", folder);
    }
    Check(std::any_of(plan.files.begin(), plan.files.end(),
                      [&folder](const std::string& file) { return StartsWith(file, folder + "\\"); }),
          "a folder is made only for a file in it", folder);
  }
  for (const std::string& file : plan.files) {
    for (size_t slash = file.find('\\'); slash != std::string::npos; slash = file.find('\\', slash + 1)) {
      Check(std::count(plan.folders.begin(), plan.folders.end(), file.substr(0, slash)) == 1,
            "every folder on a file's way is made", file);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  std::vector<std::string> staged;
  while (!input.AtEnd()) {
    const std::string field = input.Narrow();
    CheckName(qv::fuzz::FuzzInput::WideOf(field));
    CheckName(Widened(field));
    CheckNarrowName(field);
    CheckPackageFileName(field);
    staged.push_back(field);
  }
  CheckReplacementPlan(staged);
  return 0;
}
