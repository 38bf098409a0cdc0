// The library's own module handle, kept from DllMain, so that its dialogs and pictures come from
// the library whichever program loaded it.
#pragma once

#include <windows.h>

HINSTANCE LibraryModule();
void SetLibraryModule(HINSTANCE module);
