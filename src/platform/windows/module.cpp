// The DLL's load and unload steps, run by the loader through the C runtime's
// library entry after (attach) and before (detach) the runtime's own work.
#include "editor/editor.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE moduleHandle, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) orbelune::editorModuleAttach(moduleHandle);
    if (reason == DLL_PROCESS_DETACH) orbelune::editorModuleDetach();
    return TRUE;
}
