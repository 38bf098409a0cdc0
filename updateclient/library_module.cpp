// The module handle DllMain receives; null in programs that link the library's code directly.
#include "updateclient/library_module.h"

namespace qv::updateclient {

namespace {
HINSTANCE g_hLibraryModule = nullptr;
}  // namespace

HINSTANCE LibraryModule() { return g_hLibraryModule; }
void SetLibraryModule(HINSTANCE module) { g_hLibraryModule = module; }

}  // namespace qv::updateclient
