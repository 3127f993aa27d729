#include "vst2/dispatcher.h"

#include <cstring>

#include "core/identity.h"
#include "core/parameters.h"
#include "vst2/instance.h"

namespace orbelune {

namespace {

// Hosts give 32-byte buffers or larger for the three names; we write exactly 31.
constexpr std::size_t kNameStringBytes = 31;

vst::intptr writeNameString(const char* text, void* destination) {
    if (destination == nullptr) return 0;
    std::strncpy(static_cast<char*>(destination), text, kNameStringBytes);
    return 1;
}

using ParameterTextWriter = void (*)(const PluginInstance&, int, char*);

vst::intptr writeParameterText(const PluginInstance& instance, vst::int32 index, void* destination,
                               ParameterTextWriter writer) {
    if (!isParameterIndex(index) || destination == nullptr) return 0;
    writer(instance, index, static_cast<char*>(destination));
    return 1;
}

void nameWriter(const PluginInstance&, int index, char* destination) { writeParameterName(index, destination); }
void labelWriter(const PluginInstance&, int index, char* destination) { writeParameterLabel(index, destination); }
void displayWriter(const PluginInstance& instance, int index, char* destination) {
    formatParameterValue(index, pluginParameter(instance.plugin, index), destination);
}

vst::intptr canDo(const void* text) {
    if (text == nullptr) return 0;
    const char* query = static_cast<const char*>(text);
    if (std::strcmp(query, "hasCockosExtensions") == 0) return kCockosExtensionsAnswer;
    if (std::strcmp(query, "1in2out") == 0) return 1;
    if (std::strcmp(query, "2in2out") == 0) return 1;
    return 0;
}

vst::intptr setHostBypass(PluginInstance& instance, vst::intptr value) {
    setPluginBypass(instance.plugin, value != 0);
    return 1;
}

// Zero, negative and NaN rates mean the host has none to give; the float is
// widened before the engine sees it.
vst::intptr setSampleRate(PluginInstance& instance, float rate) {
    setPluginSampleRate(instance.plugin, static_cast<double>(rate));
    return 0;
}

// Hands out the address of the instance's editorRect through `rectPointer`
// when that is not null; it holds the editor's size at its scale.
vst::intptr getEditorRect(PluginInstance& instance, vst::ERect** rectPointer) {
    // A host that passes no place for the pointer gets no success either.
    if (rectPointer == nullptr) return 0;
    instance.editorRect.bottom = static_cast<std::int16_t>(editorHeight(instance.editor));
    instance.editorRect.right = static_cast<std::int16_t>(editorWidth(instance.editor));
    *rectPointer = &instance.editorRect;
    return 1;
}

// Some hosts give their scale for plug-in windows as a vendor call: 'PreS'
// in the index, 'AeCs' in the value and the factor in the float. Anything
// else of that opcode is nobody's business here.
vst::intptr vendorSpecific(PluginInstance& instance, vst::int32 index, vst::intptr value, float factor) {
    constexpr vst::int32 kScaleVendor = vst::fourCharacters('P', 'r', 'e', 'S');
    constexpr vst::intptr kScaleRequest = vst::fourCharacters('A', 'e', 'C', 's');
    if (index != kScaleVendor || value != kScaleRequest || !(factor > 0.0f)) return 0;
    setEditorHostScale(instance.editor, factor);
    return 1;
}

vst::intptr openEditorIn(PluginInstance& instance, void* parent) {
    return openEditor(instance.editor, static_cast<HWND>(parent)) ? 1 : 0;
}

vst::intptr closeEditorOf(PluginInstance& instance) {
    closeEditor(instance.editor);
    return 1;
}

vst::intptr idleEditorOf(PluginInstance& instance) {
    idleEditor(instance.editor);
    return 0;
}

vst::intptr dispatch(PluginInstance& instance, std::uint32_t opcode, vst::int32 index, vst::intptr value, void* ptr,
                     float opt) {
    switch (opcode) {
        case vst::effClose:
            destroyInstance(&instance);
            return 0;
        case vst::effGetParamLabel:
            return writeParameterText(instance, index, ptr, labelWriter);
        case vst::effGetParamDisplay:
            return writeParameterText(instance, index, ptr, displayWriter);
        case vst::effGetParamName:
            return writeParameterText(instance, index, ptr, nameWriter);
        case vst::effSetSampleRate:
            return setSampleRate(instance, opt);
        case vst::effEditGetRect:
            return getEditorRect(instance, static_cast<vst::ERect**>(ptr));
        case vst::effEditOpen:
            return openEditorIn(instance, ptr);
        case vst::effEditClose:
            return closeEditorOf(instance);
        case vst::effEditIdle:
            return idleEditorOf(instance);
        case vst::effGetPlugCategory:
            return vst::kPlugCategEffect;
        case vst::effSetBypass:
            return setHostBypass(instance, value);
        case vst::effVendorSpecific:
            return vendorSpecific(instance, index, value, opt);
        case vst::effGetEffectName:
            return writeNameString(identity::kEffectName, ptr);
        case vst::effGetVendorString:
            return writeNameString(identity::kVendorName, ptr);
        case vst::effGetProductString:
            return writeNameString(identity::kProductName, ptr);
        case vst::effGetVendorVersion:
            return identity::kVersionNumber;
        case vst::effCanDo:
            return canDo(ptr);
        default:
            // effOpen, the program, block-size and mains opcodes and everything
            // unknown: nothing to do.
            return 0;
    }
}

}  // namespace

vst::intptr dispatcher(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                       float opt) noexcept {
    PluginInstance* instance = instanceOf(effect);
    if (instance == nullptr) return 0;
    try {
        // Compared unsigned, so negative opcodes fall through to "nothing".
        return dispatch(*instance, static_cast<std::uint32_t>(opcode), index, value, ptr, opt);
    } catch (...) {
        return 0;  // nothing may cross into the host
    }
}

}  // namespace orbelune
