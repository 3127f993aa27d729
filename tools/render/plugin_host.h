// A small VST 2 host: loads a plug-in binary through its exported entry point,
// as a DAW does, and drives it only through the AEffect record.
#pragma once

#include <string>
#include <vector>

#include "platform.h"
#include "vst2/aeffect.h"

namespace render {

constexpr int kRequiredChannels = 2;  // the renderer feeds and takes stereo

// One loaded library and the instance created from it. Closing the instance
// (effClose) and unloading the library happen when the record goes.
struct LoadedPlugin {
    LibraryHandle library = nullptr;
    vst::PluginEntryProc entry = nullptr;
    vst::AEffect* effect = nullptr;
    std::string path;

    LoadedPlugin() = default;
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;
    ~LoadedPlugin();
};

struct ParameterInfo {
    int index = 0;
    std::string name;
    std::string label;
    std::string display;
    float value = 0.0f;
};

// Loads the library, creates an instance through VSTPluginMain (or, failing
// that, the older name main), checks that it is a stereo effect and opens it
// with effOpen. Throws RenderError with a one-line reason otherwise.
void loadPlugin(const std::string& path, LoadedPlugin& plugin);

// A further instance of a loaded plug-in, created, checked and opened as the
// first one was, and closed when it goes. Instances may process on different
// threads at once, but they are created, switched on and off (startProcessing,
// stopProcessing) and closed one at a time, as a host does on its main
// thread, since a plug-in need not expect its entry point, effOpen,
// effMainsChanged or effClose to be called from two threads together.
class PluginInstance {
  public:
    explicit PluginInstance(const LoadedPlugin& plugin);  // throws RenderError
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;
    vst::AEffect* effect() const { return effect_; }

  private:
    vst::AEffect* effect_ = nullptr;
};

// The plug-in binary built beside the renderer (its own directory, then the
// build directory above it).
std::string defaultPluginPath();

vst::intptr dispatch(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);

// A text the plug-in writes into a host buffer (names, labels, displays).
std::string pluginText(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0);

std::vector<ParameterInfo> parameterTable(vst::AEffect* effect);

// The index of the parameter with this name, compared without regard to case;
// throws a RenderError that lists the valid names when there is none.
int findParameter(vst::AEffect* effect, const std::string& name);
std::string parameterNameList(vst::AEffect* effect);

// The host's side of a processing session: rate, block size, then mains on;
// and mains off at the end.
void startProcessing(vst::AEffect* effect, double sampleRate, int blockSize);
void stopProcessing(vst::AEffect* effect);

// One block through processReplacing, or through the older accumulating
// process call (onto cleared outputs) for plug-ins without replacing.
void processBlock(vst::AEffect* effect, float** inputs, float** outputs, int frames);

}  // namespace render
