// The held folder over CreateFileW on each step; the steps themselves are the portable walk's.
#include "common/win/held_folder.h"

#include "common/core/path_steps.h"
#include "common/win/file_identity.h"

namespace qv {

CHeldFolder CHeldFolder::Open(const std::wstring& root, const std::wstring& folder) {
  CHeldFolder held;
  held.m_strPath = folder;
  std::vector<UniqueFileHandle> steps;
  for (const std::wstring& step : FolderStepsBelow(root, folder)) {
    // Each step as itself: a link is opened as the link and refused below. The steps above are
    // held already, so the way to this one cannot change while it is opened. The hold asks to list
    // the folder: an open for its attributes alone takes no part in the system's share checks,
    // and would let anyone rename the folder under it.
    UniqueFileHandle handle(::CreateFileW(step.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle) {
      held.m_nError = ::GetLastError();
      return held;
    }
    if (!::GetFileInformationByHandle(handle.get(), &info)) {
      held.m_nError = ::GetLastError();
      return held;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      held.m_nError = ERROR_CANT_ACCESS_FILE;
      return held;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      held.m_nError = ERROR_DIRECTORY;
      return held;
    }
    steps.push_back(std::move(handle));
  }
  held.m_steps = std::move(steps);
  return held;
}

bool CHeldFolder::Contains(HANDLE file, const std::wstring& name) const {
  if (!IsHeld() || name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return false;
  const std::wstring folder = FinalPathOf(m_steps.back().get());
  const std::wstring final = FinalPathOf(file);
  return !folder.empty() && !final.empty() && IsSamePathText(final, folder + L"\\" + name);
}

}  // namespace qv
