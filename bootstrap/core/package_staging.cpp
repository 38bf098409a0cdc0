// The staged package update over the PC's plain calls: make, hold, download into, move, remove.
#include "bootstrap/core/package_staging.h"

#include <algorithm>

#include "bootstrap/core/path_text.h"
#include "common/core/decimal_text.h"

namespace qv::bootstrap {
namespace {

// How many fresh names an update tries before it gives up: a name that is taken (by a folder
// left behind, or by anything another program put there) is never used.
constexpr int kStagingAttempts = 4;

}  // namespace

std::wstring StagingFolderFor(const std::wstring& packageFolder, uint32_t number) {
  return FolderOfPath(packageFolder) + L".update-" + DecimalText(number) + L"\\";
}

bool PackageStaging::Open() {
  if (!m_folder.empty()) return true;
  if (!m_holds.Hold(m_pc, FolderOfPath(m_packageFolder))) return false;
  for (int attempt = 0; attempt < kStagingAttempts; ++attempt) {
    const std::wstring folder = StagingFolderFor(m_packageFolder, m_pc.TickCount() + static_cast<uint32_t>(attempt));
    if (!m_pc.CreateFolder(FolderOfPath(folder))) continue;  // only a folder of our own
    m_folder = folder;
    return m_holds.Hold(m_pc, FolderOfPath(folder));
  }
  m_pc.Trace(L"[FOLDER] [" + FolderOfPath(m_packageFolder) + L".update-*] refused, no fresh folder can be made\r\n");
  return false;
}

// Makes where missing, and holds, every sub-folder of `root` on the way to `name`; those made in the
// fresh folder go with it.
bool PackageStaging::HoldWayTo(const std::wstring& root, const std::wstring& name) {
  const bool fresh = root == m_folder;
  for (size_t slash = name.find_first_of(L"\\/"); slash != std::wstring::npos;
       slash = name.find_first_of(L"\\/", slash + 1)) {
    const std::wstring folder = root + name.substr(0, slash);
    if (!m_pc.IsFolder(folder)) {
      if (!m_pc.CreateFolder(folder)) return false;
      if (fresh) m_subFolders.push_back(folder);
    }
    if (!m_holds.Hold(m_pc, folder)) return false;
  }
  return true;
}

const FolderHold* PackageStaging::Prepare(const std::wstring& name, std::wstring& path) {
  if (!Open() || !HoldWayTo(m_folder, name)) return nullptr;
  path = m_folder + name;
  const size_t slash = name.find_last_of(L"\\/");
  return m_holds.Of(slash == std::wstring::npos ? FolderOfPath(m_folder) : m_folder + name.substr(0, slash));
}

void PackageStaging::Arrived(const std::wstring& name) {
  const std::wstring key = SameFileKey(name);
  const bool known = std::any_of(m_arrived.begin(), m_arrived.end(),
                                 [&](const std::wstring& other) { return SameFileKey(other) == key; });
  if (!known) m_arrived.push_back(name);
}

bool PackageStaging::Commit(std::wstring& failed) {
  while (!m_arrived.empty()) {
    const std::wstring name = m_arrived.front();
    // Nothing takes its place through a link in the package folder.
    if (!HoldWayTo(m_packageFolder, name) || !m_pc.IsFreeOfLinks(m_packageFolder, name) ||
        !m_pc.MoveFileOver(m_folder + name, m_packageFolder + name)) {
      failed = name;
      return false;
    }
    m_arrived.erase(m_arrived.begin());
  }
  return true;
}

void PackageStaging::Discard() {
  if (m_folder.empty()) return;
  for (const std::wstring& name : m_arrived) m_pc.RemoveFile(m_folder + name);
  m_arrived.clear();
  // A held folder cannot be removed, by this program either: the holds end first.
  m_holds.ReleaseAll();
  std::for_each(m_subFolders.rbegin(), m_subFolders.rend(), [this](const std::wstring& folder) { m_pc.RemoveFolder(folder); });
  m_pc.RemoveFolder(FolderOfPath(m_folder));
  m_folder.clear();
}

}  // namespace qv::bootstrap
