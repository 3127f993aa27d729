// The DLL's load and unload steps, run by the loader through the C runtime's
// library entry after (attach) and before (detach) the runtime's own work.
#include "core/instance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE moduleHandle, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) orbelune::processAttach(moduleHandle);
    if (reason == DLL_PROCESS_DETACH) orbelune::processDetach();
    return TRUE;
}
