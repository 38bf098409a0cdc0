// A package update that replaces the installed package only when it is complete: every file is
// downloaded into a fresh folder of the run beside the package folder, and the files take their
// places in the package folder only when all of them have arrived (and passed their checks). A
// failed or cancelled download leaves the installed package as it was.
#pragma once

#include <string>
#include <vector>

#include "bootstrap/core/folder_holds.h"
#include "bootstrap/core/pc_system.h"

namespace qv::bootstrap {

// "<package folder>.update-<n>\": the fresh folder of an update, beside `packageFolder` (which
// ends in a backslash), so that its files move into the package on the same volume.
std::wstring StagingFolderFor(const std::wstring& packageFolder, uint32_t number);

class PackageStaging {
 public:
  // `packageFolder` ends in a backslash.
  PackageStaging(PcSystem& pc, std::wstring packageFolder) : m_pc(pc), m_packageFolder(std::move(packageFolder)) {}
  ~PackageStaging() { Discard(); }
  PackageStaging(const PackageStaging&) = delete;
  PackageStaging& operator=(const PackageStaging&) = delete;

  // Where the package file `name` (a safe relative name) is downloaded to, with the hold of its
  // folder: the package folder and the fresh folder are held from the first file on, and so is
  // any sub-folder on the way to the file. Null, traced, when a folder cannot be made or held.
  const FolderHold* Prepare(const std::wstring& name, std::wstring& path);
  // The fresh folder, with its final backslash, once a file has been prepared.
  const std::wstring& Folder() const { return m_folder; }
  // The file `name` has arrived complete and passed its checks. A file the lists name twice (in
  // any spelling of it) was downloaded over itself and takes its place once, where it first came.
  void Arrived(const std::wstring& name);
  // Moves every file that arrived into the package folder, in the order of their arrival. False
  // with `failed` naming the first file that could not take its place.
  bool Commit(std::wstring& failed);

 private:
  bool Open();
  bool HoldWayTo(const std::wstring& root, const std::wstring& name);
  // Removes what is left of the fresh folder: its files, its sub-folders and itself.
  void Discard();

  PcSystem& m_pc;
  const std::wstring m_packageFolder;
  std::wstring m_folder;  // the fresh folder, with its final backslash; empty until opened
  std::vector<std::wstring> m_subFolders;  // made in the fresh folder, in the order they were made
  std::vector<std::wstring> m_arrived;
  FolderHolds m_holds;
};

}  // namespace qv::bootstrap
