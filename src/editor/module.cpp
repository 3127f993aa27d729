// What the module keeps for its editors: the window class, the count of
// instances that may show one, GDI+ while any lives, and the carried fonts.
#include "editor/editor.h"
#include "editor/fonts.h"

namespace orbelune {

ModuleState module;

namespace {

void startGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    // A failed start leaves the token null; the editor then paints nothing.
    Gdiplus::GdiplusStartup(&module.gdiplusToken, &input, nullptr);
}

void stopGdiplus() {
    if (module.gdiplusToken == 0) return;
    releaseEditorFonts();
    Gdiplus::GdiplusShutdown(module.gdiplusToken);
    module.gdiplusToken = 0;
}

}  // namespace

void countEditorInstanceIn() noexcept {
    const bool first = module.instanceCount == 0;
    ++module.instanceCount;
    if (first) startGdiplus();
}

void countEditorInstanceOut() noexcept {
    --module.instanceCount;
    if (module.instanceCount == 0) stopGdiplus();
}

void editorModuleAttach(HINSTANCE moduleHandle) noexcept {
    module.moduleHandle = moduleHandle;
    DisableThreadLibraryCalls(moduleHandle);
}

void editorModuleDetach() noexcept {
    if (module.windowClassRegistered && module.moduleHandle != nullptr) {
        UnregisterClassA(kEditorClassName, module.moduleHandle);
        module.windowClassRegistered = false;
    }
    stopGdiplus();
}

}  // namespace orbelune
