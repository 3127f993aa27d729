// The Windows .clap as a Windows CLAP host loads it, under Wine: its one
// export, its factory, its sound held bit for bit to the DLL's with changes at
// and inside block starts, and its editor embedded in a window of ours, a drag
// reaching the host as a gesture. Run with the DLL and the .clap beside it.
#include <windows.h>

#include <string>
#include <vector>

#include "clap/host_objects.h"
#include "vst2/aeffect.h"
#include "wine_check.h"
#include "wine_host.h"

namespace {

using namespace claphost;

constexpr int kBlock = 256;

const clap::Plugin* createInstance(const clap::PluginFactory* factory, Host& host) {
    const clap::Plugin* plugin = factory->createPlugin(factory, &host.record, "com.drevon.orbelune");
    WINE_CHECK(plugin != nullptr && plugin->init(plugin));
    return plugin;
}

// The editor in a window of ours: it animates on its own timer, and a drag of
// "Decay" reaches the host through flush as one gesture.
void checkGui(const clap::Plugin* plugin, Host& host) {
    const auto* gui = extension<clap::PluginGui>(plugin, clap::kExtGui);
    const auto* params = extension<clap::PluginParams>(plugin, clap::kExtParams);
    WINE_CHECK(gui->isApiSupported(plugin, "win32", false) && !gui->isApiSupported(plugin, "x11", false));
    WINE_CHECK(gui->create(plugin, "win32", false));
    HWND parent = winehost::createHostWindow("OrbeluneClapTestHost");
    clap::Window window{"win32", {}};
    window.win32 = parent;
    WINE_CHECK(gui->setParent(plugin, &window) && gui->show(plugin));
    HWND editor = winehost::findEditor(parent);
    WINE_CHECK(editor != nullptr);
    winehost::animateThenDragDecay(editor);
    WINE_CHECK(host.flushRequests > 0);
    InputList none;
    OutputList out;
    params->flush(plugin, &none.record, &out.record);
    WINE_CHECK((out.calls == std::vector<std::string>{"begin 0", "value 0", "end 0"}));
    WINE_CHECK(!out.values.empty() && out.values.back() == 0.699999988f);
    gui->destroy(plugin);
    WINE_CHECK(!IsWindow(editor));
    DestroyWindow(parent);
    winehost::pumpMessages();
}

}  // namespace

int main() {
    HMODULE module = LoadLibraryA("Drevon_Orbelune.clap");
    HMODULE dll = LoadLibraryA("Drevon_Orbelune.dll");
    WINE_CHECK(module != nullptr && dll != nullptr);
    if (module == nullptr || dll == nullptr) return winecheck::report("clap_bundle_test");
    WINE_CHECK(GetProcAddress(module, "VSTPluginMain") == nullptr);  // a CLAP module only
    const auto* entry = reinterpret_cast<const clap::PluginEntry*>(GetProcAddress(module, "clap_entry"));
    WINE_CHECK(entry != nullptr);
    if (entry == nullptr) return winecheck::report("clap_bundle_test");
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    WINE_CHECK(entry->init(path));
    const auto* factory = static_cast<const clap::PluginFactory*>(entry->getFactory(clap::kPluginFactoryId));
    WINE_CHECK(factory != nullptr && factory->getPluginCount(factory) == 1);

    auto vst2Entry = reinterpret_cast<vst::PluginEntryProc>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "VSTPluginMain")));
    for (const auto& scenario : {equivalence::automationScenario(kBlock), equivalence::inBlockScenario(kBlock)}) {
        vst::AEffect* effect = vst2Entry(stubhost::hostCallback);
        effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        Host host;
        const clap::Plugin* plugin = createInstance(factory, host);
        WINE_CHECK(plugin->activate(plugin, 48000.0, 1, 4096) && plugin->startProcessing(plugin));
        WINE_CHECK(equivalence::firstDifferentBlock(effect, scenario, blockRunner(plugin)) == -1);
        plugin->stopProcessing(plugin);
        plugin->deactivate(plugin);
        plugin->destroy(plugin);
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    }

    Host host;
    const clap::Plugin* plugin = createInstance(factory, host);
    checkGui(plugin, host);
    plugin->destroy(plugin);
    entry->deinit();
    FreeLibrary(module);
    FreeLibrary(dll);
    return winecheck::report("clap_bundle_test");
}
