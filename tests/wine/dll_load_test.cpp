// Loads the real DLL as a Windows host does and reads its identity, its
// parameter texts and its answers. Run under Wine with the DLL beside it.
#include <windows.h>

#include <cstring>
#include <limits>

#include "vst2/aeffect.h"
#include "wine_check.h"

namespace {

vst::intptr hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// GetProcAddress hands out a generic function pointer; the entry's real type is
// known from the interface.
vst::PluginEntryProc entryNamed(HMODULE library, const char* name) {
    return reinterpret_cast<vst::PluginEntryProc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

vst::intptr dispatch(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, 0, ptr, opt);
}

bool textIs(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, const char* expected) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    return dispatch(effect, opcode, index, text) == 1 && std::strcmp(text, expected) == 0;
}

void checkInstance(vst::AEffect* effect) {
    WINE_CHECK(effect->magic == 0x56737450);
    WINE_CHECK(effect->uniqueID == 0x4F52424C);
    WINE_CHECK(effect->version == 1000);
    WINE_CHECK(effect->numParams == 7 && effect->numPrograms == 1);
    WINE_CHECK(effect->numInputs == 2 && effect->numOutputs == 2);
    WINE_CHECK(effect->flags == 17);
    WINE_CHECK(effect->process == effect->processReplacing);
    WINE_CHECK(effect->processDoubleReplacing == nullptr);
    WINE_CHECK(effect->initialDelay == 0);

    WINE_CHECK(textIs(effect, vst::effGetEffectName, 0, "Drevon Orbelune"));
    WINE_CHECK(textIs(effect, vst::effGetVendorString, 0, "Drevon Audio Technologies"));
    WINE_CHECK(textIs(effect, vst::effGetProductString, 0, "Drevon Orbelune 3D Reverb"));
    WINE_CHECK(dispatch(effect, vst::effGetVendorVersion) == 1000);
    WINE_CHECK(dispatch(effect, vst::effGetPlugCategory) == 1);

    const char* names[] = {"Decay", "Size", "Damping", "3D Width", "Pre-Delay", "Mix", "Bypass"};
    const char* labels[] = {"s", "%", "%", "%", "ms", "%", ""};
    const char* displays[] = {"6.91", "60", "40", "153", "18", "35", "0"};
    for (int index = 0; index < 7; ++index) {
        WINE_CHECK(textIs(effect, vst::effGetParamName, index, names[index]));
        WINE_CHECK(textIs(effect, vst::effGetParamLabel, index, labels[index]));
        WINE_CHECK(textIs(effect, vst::effGetParamDisplay, index, displays[index]));
    }
    effect->setParameter(effect, 0, 1.0f);
    WINE_CHECK(textIs(effect, vst::effGetParamDisplay, 0, "15.00"));
    effect->setParameter(effect, 0, std::numeric_limits<float>::quiet_NaN());
    WINE_CHECK(effect->getParameter(effect, 0) == 1.0f);
    WINE_CHECK(effect->getParameter(effect, 7) == 0.0f);

    WINE_CHECK(dispatch(effect, vst::effCanDo, 0, const_cast<char*>("hasCockosExtensions")) == 0xBEEF0000);
    WINE_CHECK(dispatch(effect, vst::effCanDo, 0, const_cast<char*>("2in2out")) == 1);
    WINE_CHECK(dispatch(effect, vst::effCanDo, 0, const_cast<char*>("2In2Out")) == 0);

    vst::ERect* rect = nullptr;
    WINE_CHECK(dispatch(effect, vst::effEditGetRect, 0, &rect) == 1);
    WINE_CHECK(rect != nullptr && rect->bottom == 520 && rect->right == 840);
    WINE_CHECK(dispatch(effect, vst::effGetEffectName, 0, nullptr) == 0);

    dispatch(effect, vst::effSetSampleRate, 0, nullptr, 48000.0f);
    float left[64] = {}, right[64] = {};
    float* channels[] = {left, right};
    left[0] = 0.5f;
    effect->processReplacing(effect, channels, channels, 64);
    bool finite = true;
    for (float sample : left) finite = finite && sample == sample && sample <= 1.0f && sample >= -1.0f;
    WINE_CHECK(finite);
}

}  // namespace

int main() {
    HMODULE library = LoadLibraryA("Drevon_Orbelune.dll");
    WINE_CHECK(library != nullptr);
    if (library == nullptr) return winecheck::report("dll_load_test");

    auto entry = entryNamed(library, "VSTPluginMain");
    auto oldEntry = entryNamed(library, "main");
    WINE_CHECK(entry != nullptr);
    WINE_CHECK(entry == oldEntry);

    if (entry != nullptr) {
        WINE_CHECK(entry(nullptr) == nullptr);
        vst::AEffect* first = entry(hostCallback);
        vst::AEffect* second = oldEntry(hostCallback);
        WINE_CHECK(first != nullptr && second != nullptr && first != second);
        if (first != nullptr && second != nullptr) {
            checkInstance(first);
            checkInstance(second);
            WINE_CHECK(dispatch(first, vst::effClose) == 0);
            WINE_CHECK(dispatch(second, vst::effClose) == 0);
        }
    }
    WINE_CHECK(FreeLibrary(library) != 0);
    return winecheck::report("dll_load_test");
}
