// The shared object's load and unload steps, the nearest equivalent of a DLL's
// attach and detach: what the module made for its editors goes when a host
// unloads it, so a host that loads and unloads it many times leaks nothing.
#include "host/instance.h"
#include "platform/linux/device_context.h"

namespace {

// Any stable address of this module serves as its handle.
char moduleAnchor;

__attribute__((constructor)) void onModuleLoad() {
    orbelune::processAttach(reinterpret_cast<HINSTANCE>(&moduleAnchor));
}

__attribute__((destructor)) void onModuleUnload() {
    orbelune::processDetach();
    orbelune::linuxplatform::releaseWindowSystem();
    orbelune::linuxplatform::releaseDrawingState();
}

}  // namespace
