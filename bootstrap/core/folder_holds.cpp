// Folder holds of the workflow, over the PC's plain hold.
#include "bootstrap/core/folder_holds.h"

#include "common/core/decimal_text.h"

namespace qv::bootstrap {

std::unique_ptr<FolderHold> HoldFolderOrRefuse(PcSystem& pc, const std::wstring& folder) {
  unsigned error = 0;
  std::unique_ptr<FolderHold> held = pc.HoldFolder(folder, error);
  if (!held) {
    pc.Trace(L"[FOLDER] [" + folder + L"] refused, it cannot be held (" + DecimalText(error) +
             L")\r\n");
  }
  return held;
}

bool FolderHolds::Hold(PcSystem& pc, const std::wstring& folder) {
  if (Of(folder)) return true;
  std::unique_ptr<FolderHold> held = HoldFolderOrRefuse(pc, folder);
  if (!held) return false;
  m_holds.emplace_back(folder, std::move(held));
  return true;
}

const FolderHold* FolderHolds::Of(const std::wstring& folder) const {
  for (const auto& [path, held] : m_holds) {
    if (path == folder) return held.get();
  }
  return nullptr;
}

}  // namespace qv::bootstrap
