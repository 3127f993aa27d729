#include "platform/headless/win32_standin.h"

#include <map>
#include <memory>
#include <mutex>

namespace {

struct BareWindow {
    int invalidations = 0;
    bool lastErase = false;
};

struct StandinState {
    std::mutex mutex;  // repaint requests may come from any thread, as on Windows
    standin::Counters counters;
    std::map<HWND, std::unique_ptr<BareWindow>> windows;
    ULONG_PTR nextToken = 0x6d0;
    int liveTokens = 0;
};

StandinState& state() {
    static StandinState* instance = new StandinState;  // outlives every static destructor
    return *instance;
}

}  // namespace

BOOL DisableThreadLibraryCalls(HMODULE) {
    std::lock_guard lock(state().mutex);
    ++state().counters.threadLibraryCallsDisabled;
    return TRUE;
}

BOOL UnregisterClassA(LPCSTR, HINSTANCE) {
    std::lock_guard lock(state().mutex);
    ++state().counters.classesUnregistered;
    return TRUE;
}

BOOL IsWindow(HWND window) {
    std::lock_guard lock(state().mutex);
    return state().windows.count(window) != 0 ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    std::lock_guard lock(state().mutex);
    if (state().windows.erase(window) == 0) return FALSE;
    ++state().counters.windowsDestroyed;
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL erase) {
    std::lock_guard lock(state().mutex);
    auto found = state().windows.find(window);
    if (found == state().windows.end()) return FALSE;
    ++found->second->invalidations;
    found->second->lastErase = erase != FALSE;
    ++state().counters.invalidations;
    return TRUE;
}

namespace Gdiplus {

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput*) {
    std::lock_guard lock(state().mutex);
    if (token == nullptr || input == nullptr || input->GdiplusVersion != 1) return GenericError;
    *token = state().nextToken++;
    ++state().liveTokens;
    ++state().counters.gdiplusStartups;
    return Ok;
}

void GdiplusShutdown(ULONG_PTR) {
    std::lock_guard lock(state().mutex);
    --state().liveTokens;
    ++state().counters.gdiplusShutdowns;
}

}  // namespace Gdiplus

namespace standin {

const Counters& counters() { return state().counters; }

void resetCounters() {
    std::lock_guard lock(state().mutex);
    state().counters = Counters{};
}

bool gdiplusRunning() {
    std::lock_guard lock(state().mutex);
    return state().liveTokens > 0;
}

HWND createBareWindow() {
    std::lock_guard lock(state().mutex);
    auto window = std::make_unique<BareWindow>();
    HWND handle = reinterpret_cast<HWND>(window.get());
    state().windows.emplace(handle, std::move(window));
    return handle;
}

int invalidationsOf(HWND window) {
    std::lock_guard lock(state().mutex);
    auto found = state().windows.find(window);
    return found == state().windows.end() ? 0 : found->second->invalidations;
}

bool lastInvalidationErased(HWND window) {
    std::lock_guard lock(state().mutex);
    auto found = state().windows.find(window);
    return found != state().windows.end() && found->second->lastErase;
}

}  // namespace standin
