// Folders the workflow holds while it writes into them, deletes from them or starts from them, so
// that none can be renamed, replaced or made a link in the meantime.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bootstrap/core/pc_system.h"

namespace qv::bootstrap {

// Holds `folder` (no final backslash); a folder that cannot be held is refused with one trace line
// that names it and the system's error.
std::unique_ptr<FolderHold> HoldFolderOrRefuse(PcSystem& pc, const std::wstring& folder);

// The folders one step holds, each once, until the step ends.
class FolderHolds {
 public:
  FolderHolds() = default;
  FolderHolds(const FolderHolds&) = delete;
  FolderHolds& operator=(const FolderHolds&) = delete;
  ~FolderHolds() { ReleaseAll(); }

  // Holds `folder` unless it is held already; false, traced, when it cannot be held.
  bool Hold(PcSystem& pc, const std::wstring& folder);
  // The hold of `folder`, null when it is not held.
  const FolderHold* Of(const std::wstring& folder) const;
  // Lets go of every hold, the last taken first.
  void ReleaseAll() {
    while (!m_holds.empty()) m_holds.pop_back();
  }

 private:
  // A handful at most: looked up in order.
  std::vector<std::pair<std::wstring, std::unique_ptr<FolderHold>>> m_holds;
};

}  // namespace qv::bootstrap
