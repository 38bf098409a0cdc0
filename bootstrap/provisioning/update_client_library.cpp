// Loads the update-service client library from the program's folder while it is held and proven
// to be the phone's file.
#include "bootstrap/provisioning/update_client_library.h"

#include "bootstrap/provisioning/trace_log.h"
#include "common/win/held_file.h"

namespace {

const wchar_t kLibraryName[] = L"QVUTchkdl.dll";

}  // namespace

FARPROC OpenUpdateClientProc(qv::UniqueModule& library, const std::wstring& programFolder,
                             const std::wstring& phoneFolder, const char* name, qv::bootstrap::LibraryCall& failure) {
  library.reset();
  failure = qv::bootstrap::LibraryCall::NotLoaded;
  // The copy lies where any program of the user can replace it; the phone's cannot be changed.
  // Held until loaded, so that what is loaded is what was compared. A phone that is gone proves
  // nothing: the library is not loaded.
  const qv::CHeldFile copy = qv::CHeldFile::Open(programFolder + kLibraryName);
  const qv::CHeldFile phone = qv::CHeldFile::Open(phoneFolder + kLibraryName);
  if (programFolder.empty() || phoneFolder.empty() || !copy.HasSameBytes(phone)) {
    WriteTraceLog(FormatText(L"LoadLibrary[%ls] is not the phone's file[%ls] (%u, %u)\r\n", copy.Path().c_str(),
                             phone.Path().c_str(), static_cast<unsigned>(copy.Error()),
                             static_cast<unsigned>(phone.Error())));
    return nullptr;
  }
  library.reset(::LoadLibraryExW(copy.Path().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) return nullptr;
  FARPROC found = ::GetProcAddress(library.get(), name);
  if (!found) failure = qv::bootstrap::LibraryCall::NoExport;
  return found;
}
