// Two passes of the system's cabinet reader: a check that reads the whole cabinet without writing,
// then the extraction, which names each target and creates its folders.
#include "updateclient/win/cabinet.h"

#include <windows.h>
#include <setupapi.h>

#include <cstring>

#include "common/win/handles.h"
#include "updateclient/core/agent_rules.h"
#include "updateclient/win/agent_files.h"
#include "updateclient/win/library_trace.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

UINT CALLBACK SkipEveryFile(PVOID, UINT notification, UINT_PTR, UINT_PTR) {
  return notification == SPFILENOTIFY_FILEINCABINET ? FILEOP_SKIP : 0;
}

UINT CALLBACK ExtractIntoFolder(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
  const std::string& folder = *static_cast<const std::string*>(context);
  switch (notification) {
    case SPFILENOTIFY_FILEINCABINET: {
      auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_A*>(param1);
      const char* name = info->NameInCabinet ? info->NameInCabinet : "";
      if (!IsSafeCabinetEntryName(name)) {
        UtTrace(std::string("Cabinet entry outside the folder skipped: ") + name);
        return FILEOP_SKIP;
      }
      const std::string target = JoinFolderAndName(folder, name);
      if (target.size() >= sizeof(info->FullTargetName)) return FILEOP_SKIP;
      std::memcpy(info->FullTargetName, target.c_str(), target.size() + 1);
      // Nothing is written through a link on the way, nor into a second name of another file.
      CreateFolderPath(target);
      if (!IsAgentPathFreeOfLinks(target)) {
        UtTrace("Cabinet entry refused, a link is on its way: " + target);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FILEOP_ABORT;
      }
      ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileA(target.c_str());
      return FILEOP_DOIT;
    }
    case SPFILENOTIFY_FILEEXTRACTED: {
      auto* paths = reinterpret_cast<FILEPATHS_A*>(param1);
      qv::UniqueFileHandle written(::CreateFileA(paths->Target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
      return written ? 0 : ERROR_FILE_NOT_FOUND;
    }
    default:
      return 0;
  }
}

}  // namespace

bool ExtractCabinet(const std::string& cabinetPath, const std::string& targetFolder) {
  if (!::SetupIterateCabinetA(cabinetPath.c_str(), 0, SkipEveryFile, nullptr)) return false;
  std::string folder = targetFolder;
  return ::SetupIterateCabinetA(cabinetPath.c_str(), 0, ExtractIntoFolder, &folder) != FALSE;
}

}  // namespace qv::updateclient
