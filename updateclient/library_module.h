// The library's own module handle, kept from DllMain, so that its dialogs and pictures come from
// the library whichever program loaded it.
#pragma once

#include <windows.h>

namespace qv::updateclient {

HINSTANCE LibraryModule();
void SetLibraryModule(HINSTANCE module);

}  // namespace qv::updateclient
