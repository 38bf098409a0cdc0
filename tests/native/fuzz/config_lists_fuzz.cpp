// libFuzzer target of what the program derives from config.ini (phone) and serverconfig.ini
// (server): the package's file list, the flags, the driver family and its tables, the driver
// installer the server names, the package's base URL and the failure word.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/package_rules.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/text_util.h"
#include "common/core/contained_name.h"
#include "tests/native/fuzz/fuzz_input.h"

using namespace qv::bootstrap;
using qv::fuzz::Check;
using qv::fuzz::Shown;
using qv::fuzz::UpperAscii;

namespace {

// One INI section as the system reads it: names in any letter case, a missing key reads as empty.
// Every key asked is recorded in order.
struct Section {
  std::map<std::wstring, std::wstring> values;  // upper-case name -> value
  mutable std::vector<std::wstring> asked;

  std::wstring Read(const std::wstring& key) const {
    asked.push_back(key);
    const auto found = values.find(UpperAscii(key));
    return found == values.end() ? std::wstring() : found->second;
  }
};

std::wstring ListKey(int index) {
  wchar_t key[32];
  std::swprintf(key, 32, L"file%02d", index);
  return key;
}

void CheckPackageList(const Section& section, const std::wstring& folder, uint32_t missingBits) {
  // The file test answers from the bits, one per question, and records every path asked.
  std::vector<std::wstring> paths;
  const FileTest exists = [&paths, missingBits](const std::wstring& path) {
    const bool present = (missingBits >> (paths.size() % 32) & 1u) == 0;
    paths.push_back(path);
    return present;
  };
  section.asked.clear();
  const bool all = AllPackageFilesPresent(folder, [&section](const std::wstring& key) { return section.Read(key); }, exists);

  const std::wstring countText = section.values.count(L"FILECOUNT") ? section.values.at(L"FILECOUNT") : L"";
  const int count = FileListCount(countText);
  Check(count >= 0 && count == std::max(0, WideToInt(countText)), "a file count is the number read, never negative",
        countText);
  Check(!section.asked.empty() && section.asked[0] == kFileCountKey, "the count is read first");
  for (size_t i = 1; i < section.asked.size(); ++i) {
    Check(section.asked[i] == ListKey(static_cast<int>(i - 1)), "the entries are read as file00, file01, ... in order",
          section.asked[i]);
  }
  Check(section.asked.size() <= static_cast<size_t>(count) + 1, "no entry past the count is read");
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::wstring& path = paths[i];
    Check(path.compare(0, folder.size(), folder) == 0, "only files in the package folder are looked for", path);
    const std::wstring name = path.substr(folder.size());
    Check(qv::IsContainedName(name), "only names that stay in the folder are looked for", name);
    Check(name == section.Read(ListKey(static_cast<int>(i))), "the name looked for is the entry's", name);
  }
  // Complete only when every entry of the count was a contained name that is there.
  bool expected = true;
  for (int i = 0; expected && i < count; ++i) {
    const std::wstring name = section.Read(ListKey(i));
    expected = qv::IsContainedName(name) && (missingBits >> (i % 32) & 1u) == 0;
  }
  Check(all == expected, "the package is complete exactly when every listed file is there");
}

void CheckServerDriver(const Section& section, const std::wstring& preloadType, const std::wstring& preloadDriver) {
  section.asked.clear();
  const ServerDriverChoice choice =
      ChooseServerDriver(preloadType, preloadDriver, [&section](const std::wstring& key) { return section.Read(key); });
  const std::string detail = Shown(preloadType) + " [" + Shown(choice.name) + "]";
  Check(!section.asked.empty() && section.asked[0] == L"who_install_driver", "who installs the driver is asked first");
  const bool pcTool = EqualsNoCase(section.Read(L"who_install_driver"), L"PXPC");
  Check(pcTool == (choice.step == ServerDriverStep::PcToolInstalls), "the PC tool installs exactly when the server says so",
        detail);
  if (pcTool) return;
  const std::wstring nameKey = preloadType == L"unison" ? L"driver_name" : L"driver_name_cbw_unison";
  Check(section.asked.size() >= 2 && section.asked[1] == nameKey, "the name is read from the family's key", detail);
  Check(choice.name == section.Read(nameKey), "the choice carries the server's name", detail);
  switch (choice.step) {
    case ServerDriverStep::Download:
      Check(qv::IsContainedName(choice.name) && choice.name.find(L'\\') == std::wstring::npos,
            "only a plain name that stays in the folder is downloaded", detail);
      break;
    case ServerDriverStep::SameAsPreload:
      Check(EqualsNoCase(FileNamePart(preloadDriver), choice.name), "the phone's installer is used only when named",
            detail);
      break;
    case ServerDriverStep::Refuse:
      Check(choice.name.find(L'\\') != std::wstring::npos || !qv::IsContainedName(choice.name),
            "a plain contained name is never refused", detail);
      break;
    case ServerDriverStep::PcToolInstalls:
      break;
  }
}

void CheckFamily(const std::wstring& preloadType, int current, const std::wstring& programFiles) {
  const int type = PreloadTypeFromText(preloadType, current);
  Check(type == current || (type >= kDriverUnison && type <= kDriverZodavozUro), "a family is one of the five");
  Check(PreloadTypeFromText(UpperAscii(preloadType), current) == type, "the family's name is read in any letter case",
        preloadType);
  if (IsUnisonPreloadText(preloadType)) Check(type == kDriverUnison, "unison names the unison family");
  const bool known = type >= kDriverUnison && type <= kDriverZodavozUro;
  const std::wstring sub = DriverSubFolder(type);
  Check(known == !sub.empty() && known == !DriverFilePairs(type).empty(), "exactly the five families have tables");
  if (!known) return;
  Check(sub[0] == L'\\' && qv::IsContainedName(sub.substr(1)), "a family's folder lies below Program Files");
  const std::wstring folder = GetDriverFolder(programFiles, type);
  Check(programFiles.empty() ? folder.empty() : folder == programFiles + sub,
        "a family's folder is in Program Files, never relative to the current drive", programFiles);
  for (const DriverFilePair& pair : DriverFilePairs(type)) {
    for (const std::wstring name : {pair.name32, pair.name64}) {
      Check(qv::IsContainedName(name) && EndsWithNoCase(name, L".sys"), "driver files are plain .sys names");
    }
  }
  if (type == kDriverUnison || type == kDriverCbwUnison) {
    const std::vector<DriverFilePair> pairs = DriverFilePairs(type);
    for (const DriverVersionKey& key : DriverVersionKeys(type)) {
      Check(std::any_of(pairs.begin(), pairs.end(),
                        [&key](const DriverFilePair& pair) { return std::wstring(pair.name32) == key.fileName; }),
            "a version key names a file of its family");
    }
  }
}

void CheckTexts(const std::wstring& text) {
  const std::optional<std::wstring> base = PackageBaseUrl(text);
  Check(base.has_value() == (text.find(L'/') != std::wstring::npos), "a URL without a slash is no base", text);
  if (base) {
    Check(base->back() == L'/' && base->compare(0, text.size(), text) == 0 && base->size() <= text.size() + 1,
          "a base URL is the text ending in one slash", text);
    Check(PackageBaseUrl(*base) == base, "a base URL is its own base", text);
  }
  const std::wstring word = CheckFailureWord(text);
  if (word == L"UNKNOWN") {
    for (const wchar_t* known : {L"MSG_SERVER_CONN_ERROR", L"MSG_SERVER_FAIL", L"MSG_FUNCTION_FAIL"}) {
      Check(text.find(known) == std::wstring::npos, "a failure word in the result is reported", text);
    }
  } else {
    Check(text.find(word) != std::wstring::npos, "the failure word reported is in the result", text);
  }
  const std::wstring name = FileNamePart(text);
  Check(name.find(L'\\') == std::wstring::npos && text.size() >= name.size() &&
            text.compare(text.size() - name.size(), name.size(), name) == 0,
        "a file name part is the path's end without a backslash", text);
  if (text.find(L'\\') != std::wstring::npos) {
    Check(FolderOfPath(text) + L"\\" + name == text, "folder and file name make the path again", text);
  } else {
    Check(FolderOfPath(text).empty() && name == text, "a path without a folder is its own name", text);
  }
  Check(IsFlagTrue(text) == (UpperAscii(text) == L"TRUE"), "a flag is TRUE in any letter case", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const std::wstring preloadType = input.Wide();
  const std::wstring preloadDriver = input.Wide();
  const std::wstring folder = input.Wide();
  const uint32_t bits = input.Number();
  Section section;
  input.EachWide([&section](const std::wstring& line) {
    const size_t equals = line.find(L'=');
    if (equals != std::wstring::npos) section.values.emplace(UpperAscii(line.substr(0, equals)), line.substr(equals + 1));
  });
  CheckPackageList(section, folder, bits);
  CheckServerDriver(section, preloadType, preloadDriver);
  CheckFamily(preloadType, static_cast<int>(bits % 8), folder);
  for (const std::wstring* text : {&preloadType, &preloadDriver, &folder}) CheckTexts(*text);
  for (const auto& entry : section.values) CheckTexts(entry.second);
  return 0;
}
