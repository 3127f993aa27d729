#include "plugin_host.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "errors.h"

namespace render {

namespace {

constexpr vst::intptr kHostVersion = 2400;   // answered to audioMasterVersion: a VST 2.4 host
constexpr std::size_t kTextBufferBytes = 256;  // far larger than any text a plug-in may write
constexpr vst::intptr kMainsOn = 1;  // effMainsChanged's value: processing switched on
constexpr vst::intptr kMainsOff = 0;

// The only questions a plug-in may ask this host. Automation from an editor
// cannot happen (no editor is opened), so every other request gets 0.
vst::intptr hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? kHostVersion : 0;
}

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

std::mutex& lifecycleLock() {
    static std::mutex lock;
    return lock;
}

void closeInstance(vst::AEffect* effect) {
    const std::lock_guard<std::mutex> lock(lifecycleLock());
    dispatch(effect, vst::effClose);
}

// Calls the entry point and checks the record it returns: a stereo effect
// that can process. The instance is open on return; one that fails a check
// is closed again.
vst::AEffect* createInstance(const LoadedPlugin& plugin) {
    const std::string& path = plugin.path;
    const std::lock_guard<std::mutex> lock(lifecycleLock());
    vst::AEffect* effect = plugin.entry(hostCallback);
    if (effect == nullptr) throw RenderError("plug-in '" + path + "' refused to create an instance (its entry returned null)");
    if (effect->magic != vst::kEffectMagic || effect->dispatcher == nullptr) {
        throw RenderError("'" + path + "' returned a record that is not a VST 2 effect (wrong magic number)");
    }
    std::string problem;
    if (effect->numInputs != kRequiredChannels || effect->numOutputs != kRequiredChannels) {
        problem = "plug-in '" + path + "' has " + std::to_string(effect->numInputs) + " inputs and " +
                  std::to_string(effect->numOutputs) + " outputs; the renderer needs an effect with 2 inputs and 2 outputs";
    } else {
        const bool canProcess = (effect->flags & vst::effFlagsCanReplacing) != 0 ? effect->processReplacing != nullptr
                                                                                : effect->process != nullptr;
        if (!canProcess) problem = "plug-in '" + path + "' has no processing entry";
    }
    if (!problem.empty()) {
        dispatch(effect, vst::effClose);
        throw RenderError(problem);
    }
    dispatch(effect, vst::effOpen);
    return effect;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return text;
}

}  // namespace

LoadedPlugin::~LoadedPlugin() {
    if (effect != nullptr) closeInstance(effect);
    if (library != nullptr) closeLibrary(library);
}

PluginInstance::PluginInstance(const LoadedPlugin& plugin) : effect_(createInstance(plugin)) {}

PluginInstance::~PluginInstance() { closeInstance(effect_); }

vst::intptr dispatch(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                     float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void loadPlugin(const std::string& path, LoadedPlugin& plugin) {
    plugin.path = path;
    if (!fileExists(path)) throw RenderError("plug-in '" + path + "' does not exist");
    std::string reason;
    plugin.library = openLibrary(path, reason);
    if (plugin.library == nullptr) throw RenderError("cannot load plug-in '" + path + "': " + reason);

    void* entry = findSymbol(plugin.library, "VSTPluginMain");
    if (entry == nullptr) entry = findSymbol(plugin.library, "main");
    if (entry == nullptr) {
        throw RenderError("'" + path + "' is not a VST 2 plug-in: it exports neither VSTPluginMain nor main");
    }
    plugin.entry = reinterpret_cast<vst::PluginEntryProc>(entry);
    plugin.effect = createInstance(plugin);
}

std::string defaultPluginPath() {
    const std::string directory = executableDirectory();
    const std::string besideProgram = directory + pathSeparator() + pluginFileName();
    if (fileExists(besideProgram)) return besideProgram;
    // The build puts the renderer in tools/ below the directory of the plug-in.
    const std::string inBuildDirectory =
        (std::filesystem::path(directory).parent_path() / pluginFileName()).string();
    return fileExists(inBuildDirectory) ? inBuildDirectory : besideProgram;
}

std::string pluginText(vst::AEffect* effect, vst::int32 opcode, vst::int32 index) {
    char text[kTextBufferBytes] = {};
    dispatch(effect, opcode, index, 0, text);
    text[kTextBufferBytes - 1] = '\0';
    return text;
}

std::vector<ParameterInfo> parameterTable(vst::AEffect* effect) {
    std::vector<ParameterInfo> table;
    for (int index = 0; index < effect->numParams; ++index) {
        ParameterInfo info;
        info.index = index;
        info.name = pluginText(effect, vst::effGetParamName, index);
        info.label = pluginText(effect, vst::effGetParamLabel, index);
        info.display = pluginText(effect, vst::effGetParamDisplay, index);
        info.value = effect->getParameter != nullptr ? effect->getParameter(effect, index) : 0.0f;
        table.push_back(info);
    }
    return table;
}

std::string parameterNameList(vst::AEffect* effect) {
    std::string list;
    for (const ParameterInfo& parameter : parameterTable(effect)) {
        list += (list.empty() ? "\"" : ", \"") + parameter.name + "\"";
    }
    return list.empty() ? "(the plug-in has no parameters)" : list;
}

int findParameter(vst::AEffect* effect, const std::string& name) {
    const std::string wanted = lowerCase(name);
    for (const ParameterInfo& parameter : parameterTable(effect)) {
        if (lowerCase(parameter.name) == wanted) return parameter.index;
    }
    throw UsageError("unknown parameter \"" + name + "\"; valid names: " + parameterNameList(effect));
}

void startProcessing(vst::AEffect* effect, double sampleRate, int blockSize) {
    const std::lock_guard<std::mutex> lock(lifecycleLock());
    dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    dispatch(effect, vst::effSetBlockSize, 0, blockSize);
    dispatch(effect, vst::effMainsChanged, 0, kMainsOn);
}

void stopProcessing(vst::AEffect* effect) {
    const std::lock_guard<std::mutex> lock(lifecycleLock());
    dispatch(effect, vst::effMainsChanged, 0, kMainsOff);
}

void processBlock(vst::AEffect* effect, float** inputs, float** outputs, int frames) {
    if ((effect->flags & vst::effFlagsCanReplacing) != 0) {
        effect->processReplacing(effect, inputs, outputs, frames);
        return;
    }
    for (int channel = 0; channel < kRequiredChannels; ++channel) {
        std::fill(outputs[channel], outputs[channel] + frames, 0.0f);
    }
    effect->process(effect, inputs, outputs, frames);
}

}  // namespace render
