// An instance with its editor open inside a stand-in parent window, and small
// helpers to send it mouse messages and read back what a frame drew.
#pragma once

#include <string>
#include <vector>

#include "editor/editor.h"
#include "vst2/instance.h"
#include "unit/test_host.h"

namespace editortest {

inline LPARAM pointAt(int x, int y) {
    return static_cast<LPARAM>(static_cast<std::uint16_t>(x)) |
           static_cast<LPARAM>(static_cast<std::uint16_t>(y)) << 16;
}

struct OpenEditor {
    OpenEditor() {
        stubhost::automations().clear();
        parent = standin::createBareWindow();
        plugin.dispatch(vst::effEditOpen, 0, 0, parent);
        window = instance().editor.window.load();
    }
    ~OpenEditor() {
        plugin.close();
        DestroyWindow(parent);
    }

    orbelune::PluginInstance& instance() const { return *orbelune::instanceOf(plugin.get()); }
    void setParameter(int index, float value) const { plugin->setParameter(plugin.get(), index, value); }
    float parameter(int index) const { return plugin->getParameter(plugin.get(), index); }
    LRESULT send(UINT message, int x, int y) const { return SendMessageA(window, message, 0, pointAt(x, y)); }
    void press(int x, int y) const { send(WM_LBUTTONDOWN, x, y); }
    void move(int x, int y) const { send(WM_MOUSEMOVE, x, y); }
    void release(int x, int y) const { send(WM_LBUTTONUP, x, y); }

    // Paints one frame and returns what it drew.
    std::vector<standin::DrawingCall> paint() const {
        standin::clearDrawingCalls();
        SendMessageA(window, WM_PAINT, 0, 0);
        return standin::drawingCalls();
    }

    testhost::Instance plugin;
    HWND parent = nullptr;
    HWND window = nullptr;
};

inline std::vector<standin::DrawingCall> callsTo(const std::vector<standin::DrawingCall>& calls,
                                                 const std::string& function) {
    std::vector<standin::DrawingCall> found;
    for (const auto& call : calls)
        if (call.function == function) found.push_back(call);
    return found;
}

}  // namespace editortest
