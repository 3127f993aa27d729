// The nearest equivalent of a DLL's attach and detach where there is no DLL:
// run when the shared object (or a test program linking the plug-in) is loaded
// and unloaded.
#include "host/instance.h"
#include "platform/headless/standin_state.h"

namespace {

// Any stable address of this module serves as its handle.
char moduleAnchor;

__attribute__((constructor)) void onModuleLoad() {
    orbelune::processAttach(reinterpret_cast<HINSTANCE>(&moduleAnchor));
}

__attribute__((destructor)) void onModuleUnload() {
    orbelune::processDetach();
    standin::detail::releaseWindowSystem();
    standin::detail::releaseDrawingState();
}

}  // namespace
