// The Windows VST 3 bundle as a Windows host loads it, under Wine: its exports,
// its factory, and its sound held bit for bit to the DLL's under the same
// automation; a state that is not ours is refused. Run with the DLL and the
// bundle folder beside it.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "vst2/aeffect.h"
#include "vst3/abi.h"
#include "vst3/host_objects.h"
#include "wine_check.h"
#include "wine_host.h"

namespace {

using namespace vst3host;

constexpr int kBlock = 256;
constexpr const char* kBundleBinary = "Drevon_Orbelune.vst3\\Contents\\x86_64-win\\Drevon_Orbelune.vst3";

template <typename Function>
Function exported(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The editor as a view in a window of ours: it animates on its own timer, and a
// drag of "Decay" reaches the host as one gesture.
void checkView(IComponent* component) {
    IEditController* controller = nullptr;
    WINE_CHECK(component->queryInterface(kIEditControllerIid.bytes, reinterpret_cast<void**>(&controller)) ==
               kResultOk);
    EditRecorder handler;
    controller->setComponentHandler(&handler);
    IPlugView* view = controller->createView("editor");
    WINE_CHECK(view != nullptr);
    if (view == nullptr) return;
    WINE_CHECK(view->isPlatformTypeSupported("HWND") == kResultTrue);
    WINE_CHECK(view->isPlatformTypeSupported("X11EmbedWindowID") == kResultFalse);
    ViewRect size{};
    WINE_CHECK(view->getSize(&size) == kResultOk && size.right == 840 && size.bottom == 520);

    HWND host = winehost::createHostWindow("OrbeluneVst3TestHost");
    WINE_CHECK(view->attached(host, "HWND") == kResultOk);
    HWND editor = winehost::findEditor(host);
    WINE_CHECK(editor != nullptr);
    winehost::animateThenDragDecay(editor);
    WINE_CHECK((handler.calls == std::vector<std::string>{"begin 0", "perform 0", "end 0"}));
    WINE_CHECK(handler.lastValue == 0.699999988f);
    WINE_CHECK(controller->getParamNormalized(0) == 0.699999988f);
    WINE_CHECK(view->removed() == kResultOk);
    WINE_CHECK(!IsWindow(editor));
    view->release();
    controller->setComponentHandler(nullptr);
    controller->release();
    DestroyWindow(host);
    winehost::pumpMessages();
}

}  // namespace

int main() {
    HMODULE bundle = LoadLibraryA(kBundleBinary);
    HMODULE dll = LoadLibraryA("Drevon_Orbelune.dll");
    WINE_CHECK(bundle != nullptr && dll != nullptr);
    if (bundle == nullptr || dll == nullptr) return winecheck::report("vst3_bundle_test");
    WINE_CHECK(GetProcAddress(bundle, "VSTPluginMain") == nullptr);  // a VST 3 module only
    auto initDll = exported<bool (*)()>(bundle, "InitDll");
    auto exitDll = exported<bool (*)()>(bundle, "ExitDll");
    auto getFactory = exported<IPluginFactory* (*)()>(bundle, "GetPluginFactory");
    WINE_CHECK(initDll != nullptr && exitDll != nullptr && getFactory != nullptr);
    if (initDll == nullptr || exitDll == nullptr || getFactory == nullptr) return winecheck::report("vst3_bundle_test");
    WINE_CHECK(initDll());
    IPluginFactory* factory = getFactory();
    PClassInfo info{};
    WINE_CHECK(factory->countClasses() == 1 && factory->getClassInfo(0, &info) == kResultOk);
    WINE_CHECK(std::strcmp(info.category, "Audio Module Class") == 0);

    void* object = nullptr;
    WINE_CHECK(factory->createInstance(reinterpret_cast<const char*>(info.cid),
                                       reinterpret_cast<const char*>(kIComponentIid.bytes), &object) == kResultOk);
    auto* component = static_cast<IComponent*>(object);
    IAudioProcessor* processor = nullptr;
    WINE_CHECK(component->queryInterface(kIAudioProcessorIid.bytes, reinterpret_cast<void**>(&processor)) ==
               kResultOk);
    const Uid unknown = makeUid(1, 2, 3, 4);
    void* none = nullptr;
    WINE_CHECK(component->queryInterface(unknown.bytes, &none) == kNoInterface && none == nullptr);
    component->initialize(nullptr);
    ProcessSetup setup{0, kSample32, kBlock, 48000.0};
    WINE_CHECK(processor->setupProcessing(&setup) == kResultOk);
    component->setActive(1);

    vst::AEffect* effect = exported<vst::PluginEntryProc>(dll, "VSTPluginMain")(stubhost::hostCallback);
    effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);

    WINE_CHECK(equivalence::firstDifferentBlock(effect, equivalence::inBlockScenario(kBlock), blockRunner(processor)) ==
               -1);

    checkView(component);

    MemoryStream saved;
    WINE_CHECK(component->getState(&saved) == kResultOk);
    MemoryStream foreign;
    foreign.bytes.assign(saved.bytes.size(), 'x');
    WINE_CHECK(component->setState(&foreign) == kResultFalse);
    MemoryStream after;
    component->getState(&after);
    WINE_CHECK(after.bytes == saved.bytes);

    effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    component->setActive(0);
    component->terminate();
    processor->release();
    component->release();
    factory->release();
    WINE_CHECK(exitDll());
    FreeLibrary(bundle);
    FreeLibrary(dll);
    return winecheck::report("vst3_bundle_test");
}
