#include "editor/editor.h"

#include "host/instance.h"

namespace orbelune {

vst::intptr getEditorRect(PluginInstance& instance, vst::ERect** rectPointer) {
    if (rectPointer == nullptr) return 0;
    *rectPointer = &instance.editorRect;
    return 1;
}

vst::intptr openEditor(PluginInstance& instance, HWND parent) {
    instance.editorParent = parent;
    return 0;  // no window can be made yet
}

vst::intptr closeEditor(PluginInstance& instance) {
    const HWND window = instance.editorWindow.load(std::memory_order_relaxed);
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
        instance.editorWindow.store(nullptr, std::memory_order_relaxed);
    }
    return 1;
}

vst::intptr idleEditor(PluginInstance&) { return 0; }

}  // namespace orbelune
