// The load and unload steps of a shared object that carries the editor, the
// nearest equivalent of a DLL's attach and detach: what the module made for
// its editors goes when a host unloads it, so a host that loads and unloads it
// many times leaks nothing. The same steps run in a test program that links
// the editor's code; a binary without the editor has none.
#include <dlfcn.h>

#include "editor/editor.h"
#include "platform/win32.h"

namespace {

// Any stable address of this module serves as its handle.
char moduleAnchor;

__attribute__((constructor)) void onModuleLoad() {
    orbelune::editorModuleAttach(reinterpret_cast<HINSTANCE>(&moduleAnchor));
    // The pixel library under cairo sets itself up at load and never lets go
    // of that memory, so it stays loaded after us: unloaded and loaded again
    // with each load of ours, it would leak the same few kilobytes every time.
    dlopen("libpixman-1.so.0", RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

__attribute__((destructor)) void onModuleUnload() {
    orbelune::editorModuleDetach();
    orbelune::platform::releaseWindowSystem();
    orbelune::platform::releaseDrawingState();
}

}  // namespace
