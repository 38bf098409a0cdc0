// libFuzzer target of the staged package update over a scripted PC: the package list's names
// (contained names, as the workflow passes them; a name may come twice), which downloads arrive,
// and which folders and files the PC refuses, all come from the input.
#include <algorithm>
#include <map>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/core/package_staging.h"
#include "bootstrap/core/path_text.h"
#include "common/core/contained_name.h"
#include "tests/native/bootstrap/scripted_pc.h"
#include "tests/native/fuzz/fuzz_input.h"

using namespace qv::bootstrap;
using qv::fuzz::Check;
using qv::fuzz::StartsWith;

namespace {

const std::wstring kParent = L"C:\\Users\\ann\\Templates";
const std::wstring kPackage = kParent + L"\\PXPC\\";
const std::wstring kFresh = kParent + L"\\PXPC.update-";  // how every fresh folder's path starts

// Inside the package folder, or inside (or being) a fresh folder beside it.
bool InPackageOrFresh(const std::wstring& path) {
  return StartsWith(path, kPackage) || StartsWith(path, kFresh);
}

// The scripted PC, watching that every change stays in the package's folders and that a file
// takes its place in the package only through held folders.
class WatchedPc : public testing::ScriptedPc {
 public:
  std::vector<std::pair<std::wstring, std::wstring>> moves;

  FileResult CreateFolder(const std::wstring& path) override {
    Check(InPackageOrFresh(path), "folders are made only in the package's folders", path);
    return ScriptedPc::CreateFolder(path);
  }
  void RemoveFolder(const std::wstring& path) override {
    Check(StartsWith(path, kFresh), "only fresh folders are removed", path);
    ScriptedPc::RemoveFolder(path);
  }
  void RemoveFile(const std::wstring& path) override {
    Check(StartsWith(path, kFresh), "only files of the fresh folder are removed", path);
    ScriptedPc::RemoveFile(path);
  }
  FileResult MoveFileOver(const std::wstring& source, const std::wstring& target) override {
    Check(StartsWith(target, kPackage), "files move into the package folder", target);
    const std::wstring name = target.substr(kPackage.size());
    Check(heldFolders.count(kParent + L"\\PXPC") > 0, "the package folder is held while files take their places");
    for (size_t slash = name.find_first_of(L"\\/"); slash != std::wstring::npos; slash = name.find_first_of(L"\\/", slash + 1)) {
      Check(heldFolders.count(kPackage + name.substr(0, slash)) > 0, "every folder on a file's way is held", name);
    }
    moves.emplace_back(source, target);
    return ScriptedPc::MoveFileOver(source, target);
  }
};

std::wstring StagingOf(const std::wstring& path) {
  const size_t end = path.find(L'\\', kFresh.size());
  return end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
}

void CheckStagingFolderName(uint32_t number) {
  const std::wstring folder = StagingFolderFor(kPackage, number);
  Check(folder.back() == L'\\' && FolderOfPath(FolderOfPath(folder)) == kParent, "a fresh folder lies beside the package");
  Check(folder != StagingFolderFor(kPackage, number + 1), "each number gives its own folder");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const uint32_t arrivals = input.Number();  // bit n: the n-th download arrives
  const uint32_t refusals = input.Number();  // which folders and files the PC refuses
  WatchedPc pc;
  const std::map<std::wstring, std::wstring> before = pc.files;  // the PC's own files (system, drivers)
  pc.ticks = input.Number();
  pc.folders = {kParent, kParent + L"\\PXPC"};
  std::vector<std::wstring> names;
  // A name may come twice; other spellings of one file do not, as the scripted PC keeps them apart.
  input.EachWide([&names](const std::wstring& name) {
    const bool otherSpelling = std::any_of(names.begin(), names.end(), [&](const std::wstring& other) {
      return other != name && SameFileKey(other) == SameFileKey(name);
    });
    if (qv::IsContainedName(name) && !otherSpelling && names.size() < 12) names.push_back(name);
  });
  // What the PC refuses: the fresh folders of the first ticks, sub-folders, holds and targets.
  for (uint32_t attempt = 0; attempt < 4; ++attempt) {
    if (refusals >> attempt & 1u) pc.refusedFolders.insert(FolderOfPath(StagingFolderFor(kPackage, pc.ticks + 5 + attempt)));
  }
  for (size_t i = 0; i < names.size(); ++i) {
    const std::wstring& name = names[i];
    pc.files[kPackage + name] = L"old " + name;
    if (refusals >> (4 + i) & 1u) pc.unmovableFiles.insert(kPackage + name);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos && (refusals >> (16 + i) & 1u)) pc.unholdableFolders.insert(kPackage + name.substr(0, slash));
  }
  if (refusals >> 30 & 1u) pc.unholdableFolders.insert(kParent + L"\\PXPC");
  CheckStagingFolderName(pc.ticks);

  std::vector<std::wstring> arrived;
  {
    PackageStaging staging(pc, kPackage);
    bool complete = true;
    for (size_t i = 0; i < names.size() && complete; ++i) {
      std::wstring path;
      const FolderHold* hold = staging.Prepare(names[i], path);
      if (!hold) break;
      const std::wstring fresh = StagingOf(path);
      Check(!fresh.empty() && fresh == staging.Folder() && path == fresh + names[i],
            "a file is downloaded into the fresh folder under its own name", path);
      Check(FolderOfPath(FolderOfPath(fresh)) == kParent, "the fresh folder lies beside the package", fresh);
      Check(pc.heldFolders.count(FolderOfPath(fresh)) > 0, "the fresh folder is held while files arrive", fresh);
      complete = (arrivals >> i & 1u) != 0;
      if (!complete) break;
      pc.files[path] = L"new " + names[i];
      staging.Arrived(names[i]);
      if (std::find(arrived.begin(), arrived.end(), names[i]) == arrived.end()) arrived.push_back(names[i]);
    }
    if (complete && !arrived.empty()) {
      std::wstring failed;
      const bool committed = staging.Commit(failed);
      const std::vector<std::pair<std::wstring, std::wstring>> moves = pc.moves;
      Check(moves.size() <= arrived.size(), "each file that arrived moves once at most, however often it came");
      for (size_t i = 0; i < moves.size(); ++i) {
        Check(moves[i].first == staging.Folder() + arrived[i] && moves[i].second == kPackage + arrived[i],
              "files take their places in the order they arrived", moves[i].second);
      }
      if (committed) {
        Check(moves.size() == arrived.size(), "a commit moves every file that arrived");
        for (const std::wstring& name : arrived) {
          Check(pc.files[kPackage + name] == L"new " + name, "a committed file holds the new bytes", name);
        }
      } else {
        Check(std::find(arrived.begin(), arrived.end(), failed) != arrived.end(), "a failed commit names a file that arrived",
              failed);
      }
    }
  }
  Check(pc.heldFolders.empty(), "no folder is held once the update ends");
  for (const std::wstring& folder : pc.folders) {
    Check(!StartsWith(folder, kFresh) || pc.refusedFolders.count(folder) > 0,
          "nothing of the fresh folder is left", folder);
  }
  for (const auto& file : pc.files) {
    Check(!StartsWith(file.first, kFresh), "no file of the fresh folder is left", file.first);
    const auto kept = before.find(file.first);
    const bool untouched = kept != before.end() && kept->second == file.second;
    Check(untouched || InPackageOrFresh(file.first), "no file is written outside the package", file.first);
  }
  return 0;
}
