// A small VST 3 host of ours, from our own declarations: it loads the real
// bundle through its exported entry points, walks the factory, drives an
// instance as hosts do and holds its sound to the VST 2 build's, bit for bit.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/presets.h"
#include "vst2/aeffect.h"
#include "vst3/abi.h"
#include "vst3/host_objects.h"

namespace {

using namespace vst3;
using namespace vst3host;

constexpr int kBlock = 256;

std::string narrow(const TChar* text) {
    std::string result;
    for (; *text != 0; ++text) result.push_back(static_cast<char>(*text));
    return result;
}

std::vector<TChar> wide(const char* text) {
    std::vector<TChar> result(text, text + std::strlen(text));
    result.push_back(0);
    return result;
}

struct Modules {
    void* vst3Module = dlopen(ORBELUNE_VST3_BINARY, RTLD_NOW | RTLD_LOCAL);
    void* vst2Module = dlopen(ORBELUNE_PLUGIN_BINARY, RTLD_NOW | RTLD_LOCAL);
    IPluginFactory* factory = nullptr;
    Modules() {
        if (vst3Module == nullptr) return;
        auto entry = reinterpret_cast<bool (*)(void*)>(dlsym(vst3Module, "ModuleEntry"));
        auto get = reinterpret_cast<IPluginFactory* (*)()>(dlsym(vst3Module, "GetPluginFactory"));
        if (entry != nullptr && entry(vst3Module) && get != nullptr) factory = get();
    }
    ~Modules() {
        if (factory != nullptr) factory->release();
        if (vst3Module != nullptr) {
            reinterpret_cast<bool (*)()>(dlsym(vst3Module, "ModuleExit"))();
            dlclose(vst3Module);
        }
        if (vst2Module != nullptr) dlclose(vst2Module);
    }
};

Modules& modules() {
    static Modules loaded;
    return loaded;
}

// One instance as a host holds it: the component, and the processor and
// controller found on it.
struct Instance {
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;

    explicit Instance(double rate = 44100.0) {
        const Parts parts = createParts(modules().factory);
        if (parts.controller == nullptr) return;
        component = parts.component;
        processor = parts.processor;
        controller = parts.controller;
        component->initialize(nullptr);
        ProcessSetup setup{0, kSample32, kBlock, rate};
        processor->setupProcessing(&setup);
        component->setActive(1);
        processor->setProcessing(1);
    }
    ~Instance() {
        if (component == nullptr) return;
        processor->setProcessing(0);
        component->setActive(0);
        component->terminate();
        controller->release();
        processor->release();
        component->release();
    }

    void process(std::vector<float>& left, std::vector<float>& right, Changes* changes = nullptr) {
        EXPECT_EQ(processInPlace(processor, left, right, changes), kResultOk);
    }
    std::vector<unsigned char> state() const {
        MemoryStream stream;
        EXPECT_EQ(component->getState(&stream), kResultOk);
        return stream.bytes;
    }
};

TEST(Vst3Factory, DescribesOneReverbClassAndCreatesNothingElse) {
    ASSERT_NE(modules().factory, nullptr) << dlerror();
    IPluginFactory2* factory = nullptr;
    ASSERT_EQ(modules().factory->queryInterface(kIPluginFactory2Iid.bytes, reinterpret_cast<void**>(&factory)),
              kResultOk);
    PFactoryInfo about{};
    EXPECT_EQ(factory->getFactoryInfo(&about), kResultOk);
    EXPECT_STREQ(about.vendor, "Drevon Audio Technologies");
    ASSERT_EQ(factory->countClasses(), 1);
    PClassInfo2 info{};
    ASSERT_EQ(factory->getClassInfo2(0, &info), kResultOk);
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.name, "Drevon Orbelune");
    EXPECT_STREQ(info.subCategories, "Fx|Reverb");
    EXPECT_EQ(factory->getClassInfo2(1, &info), kInvalidArgument);
    void* object = reinterpret_cast<void*>(1);
    const Uid other = makeUid(1, 2, 3, 4);
    EXPECT_NE(factory->createInstance(reinterpret_cast<const char*>(other.bytes),
                                      reinterpret_cast<const char*>(kIComponentIid.bytes), &object),
              kResultOk);
    EXPECT_EQ(object, nullptr);
    factory->release();
}

TEST(Vst3Instance, OffersStereoBusesAndTheParametersOfTheOtherFormats) {
    Instance plugin;
    ASSERT_NE(plugin.controller, nullptr);
    TUID controllerClass{};
    EXPECT_EQ(plugin.component->getControllerClassId(controllerClass), kResultFalse);  // the controller is itself
    EXPECT_EQ(plugin.component->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(plugin.component->getBusCount(kEvent, kInput), 0);
    SpeakerArrangement mono = 1 << 19;
    SpeakerArrangement stereo = kStereo;
    EXPECT_EQ(plugin.processor->setBusArrangements(&mono, 1, &stereo, 1), kResultFalse);
    SpeakerArrangement kept = 0;
    EXPECT_EQ(plugin.processor->getBusArrangement(kInput, 0, &kept), kResultOk);
    EXPECT_EQ(kept, kStereo);
    EXPECT_EQ(plugin.processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultOk);
    EXPECT_EQ(plugin.processor->canProcessSampleSize(kSample64), kResultFalse);
    EXPECT_EQ(plugin.processor->getLatencySamples(), 0u);

    const char* names[] = {"Decay", "Size", "Damping", "3D Width", "Pre-Delay", "Mix", "Bypass"};
    const char* units[] = {"s", "%", "%", "%", "ms", "%", ""};
    ASSERT_EQ(plugin.controller->getParameterCount(), 8);  // and the program list's parameter
    for (int index = 0; index < 7; ++index) {
        vst3::ParameterInfo info{};
        ASSERT_EQ(plugin.controller->getParameterInfo(index, &info), kResultOk);
        EXPECT_EQ(narrow(info.title), names[index]);
        EXPECT_EQ(narrow(info.units), units[index]);
        EXPECT_EQ(info.flags & kIsBypass, index == 6 ? kIsBypass : 0);
        EXPECT_EQ(info.stepCount, index == 6 ? 1 : 0);
    }

    String128 text{};
    ASSERT_EQ(plugin.controller->getParamStringByValue(0, 0.45f, text), kResultOk);
    EXPECT_EQ(narrow(text), "6.91");
    ParamValue value = -1.0;
    std::vector<TChar> typed = wide("6.91");
    ASSERT_EQ(plugin.controller->getParamValueByString(0, typed.data(), &value), kResultOk);
    ASSERT_EQ(plugin.controller->getParamStringByValue(0, value, text), kResultOk);
    EXPECT_EQ(narrow(text), "6.91");
    typed = wide("40 ms");
    ASSERT_EQ(plugin.controller->getParamValueByString(4, typed.data(), &value), kResultOk);
    EXPECT_NEAR(value, 40.0 / 120.0, 1e-6);
    value = -1.0;
    for (const char* bad : {"loud", "", "6.91x", "99"}) {
        typed = wide(bad);
        EXPECT_EQ(plugin.controller->getParamValueByString(0, typed.data(), &value), kResultFalse) << bad;
    }
    EXPECT_EQ(value, -1.0);
    plugin.controller->getParamStringByValue(6, 0.0, text);
    EXPECT_EQ(narrow(text), "0");
    plugin.controller->getParamStringByValue(6, 1.0, text);
    EXPECT_EQ(narrow(text), "100");
}

// The same input and the same values at the same frames through both
// formats, at block starts and inside blocks, a change of "Size" and a
// bypassed stretch included, at a rate of 48 kHz.
TEST(Vst3Sound, EqualsTheVst2BuildBitForBitUnderAutomation) {
    ASSERT_NE(modules().vst2Module, nullptr);
    auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(modules().vst2Module, "VSTPluginMain"));
    for (const auto& scenario : {equivalence::automationScenario(kBlock), equivalence::inBlockScenario(kBlock)}) {
        vst::AEffect* effect = entry(stubhost::hostCallback);
        effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        Instance plugin(48000.0);
        EXPECT_EQ(equivalence::firstDifferentBlock(effect, scenario, blockRunner(plugin.processor)), -1);
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    }
}

// Hosts may skip a channel flagged silent, so only exact zeros are flagged:
// a fresh instance on silence, never the tail that follows sound.
TEST(Vst3Sound, FlagsOnlyExactSilence) {
    Instance plugin;
    std::vector<float> left(kBlock), right(kBlock);
    float* channels[2] = {left.data(), right.data()};
    AudioBusBuffers bus{2, 0, reinterpret_cast<void**>(channels)};
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = kBlock;
    data.numInputs = data.numOutputs = 1;
    data.inputs = data.outputs = &bus;
    ASSERT_EQ(plugin.processor->process(&data), kResultOk);
    EXPECT_EQ(bus.silenceFlags, 3u);
    left[0] = 0.5f;
    plugin.processor->process(&data);
    for (int block = 0; block < 20; ++block) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        bus.silenceFlags = 3;
        plugin.processor->process(&data);
        const bool quiet = std::all_of(left.begin(), left.end(), [](float x) { return x == 0.0f; });
        EXPECT_EQ(bus.silenceFlags & 1u, quiet ? 1u : 0u) << block;
    }
}

TEST(Vst3State, RestoresIntoAFreshInstanceAndRefusesWhatIsNotOurs) {
    Instance first;
    Changes changes;
    for (ParamID id : {0u, 1u, 3u, 5u}) {
        Queue queue;
        queue.id = id;
        queue.points = {{0, 0.1 + 0.2 * id}};
        changes.queues.push_back(queue);
    }
    std::vector<float> left(kBlock), right(kBlock);
    first.process(left, right, &changes);  // a flush: values only
    MemoryStream saved;
    ASSERT_EQ(first.component->getState(&saved), kResultOk);

    Instance second;
    saved.position = 0;
    ASSERT_EQ(second.component->setState(&saved), kResultOk);
    saved.position = 0;
    ASSERT_EQ(second.controller->setComponentState(&saved), kResultOk);
    EXPECT_EQ(second.state(), saved.bytes);
    EXPECT_EQ(second.controller->getParamNormalized(5), 1.0);  // asked for 1.1: clamped into range
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    second.process(left, right);  // the same history as the first: one silent block at these values
    unsigned seed = 3;
    for (int block = 0; block < 8; ++block) {
        std::vector<float> a(kBlock), b(kBlock), c, d;
        for (int frame = 0; frame < kBlock; ++frame) a[frame] = b[frame] = stubhost::noise(seed);
        c = a;
        d = b;
        first.process(a, b);
        second.process(c, d);
        ASSERT_EQ(a, c);
        ASSERT_EQ(b, d);
    }

    // A project saved before the preset was kept in the state still loads.
    MemoryStream firstVersion;
    firstVersion.bytes.assign(saved.bytes.begin(), saved.bytes.begin() + 36);
    firstVersion.bytes[4] = 1;
    ASSERT_EQ(second.component->setState(&firstVersion), kResultOk);
    EXPECT_EQ(second.state(), saved.bytes);

    const std::vector<unsigned char> before = second.state();
    std::vector<std::vector<unsigned char>> refused = {
        std::vector<unsigned char>(saved.bytes.begin(), saved.bytes.begin() + 20),  // truncated
        std::vector<unsigned char>(saved.bytes.size(), 'x'),                           // foreign
    };
    std::vector<unsigned char> corrupt = saved.bytes;
    std::memset(corrupt.data() + 8, 0xFF, 4);  // a NaN for "Decay"
    refused.push_back(corrupt);
    std::vector<unsigned char> newer = saved.bytes;
    newer[4] = 3;  // a format version we do not know
    refused.push_back(newer);
    for (const auto& bytes : refused) {
        MemoryStream stream;
        stream.bytes = bytes;
        EXPECT_EQ(second.component->setState(&stream), kResultFalse);
        stream.position = 0;
        EXPECT_EQ(second.controller->setComponentState(&stream), kResultFalse);
        EXPECT_EQ(second.state(), before);
    }
}

// A host may save while nothing is processed (a track switched off): an edit
// that has reached only the controller is saved all the same.
TEST(Vst3State, HoldsAnEditTheAudioSideHasNotSeenYet) {
    Instance plugin;
    ASSERT_EQ(plugin.controller->setParamNormalized(0, 0.149659872), kResultOk);
    MemoryStream saved;
    ASSERT_EQ(plugin.component->getState(&saved), kResultOk);
    Instance reopened;
    saved.position = 0;
    ASSERT_EQ(reopened.component->setState(&saved), kResultOk);
    saved.position = 0;
    ASSERT_EQ(reopened.controller->setComponentState(&saved), kResultOk);
    EXPECT_EQ(reopened.controller->getParamNormalized(0), 0.149659872f);
    // Then the audio side's own later change wins again.
    Changes changes;
    Queue queue;
    queue.id = 0;
    queue.points = {{0, 0.9}};
    changes.queues.push_back(queue);
    std::vector<float> left(kBlock), right(kBlock);
    plugin.process(left, right, &changes);
    EXPECT_NE(plugin.state(), saved.bytes);
    Instance third;
    MemoryStream again;
    again.bytes = plugin.state();
    ASSERT_EQ(third.controller->setComponentState(&again), kResultOk);
    EXPECT_EQ(third.controller->getParamNormalized(0), 0.9f);
}

// The factory presets as hosts find them: a program list on the root unit and
// its program-change parameter. Choosing one sets the six values at once for
// the controller and, at the frame the host sends it, for the audio; it is
// kept in the state, and sent again after a restore it leaves edits alone.
TEST(Vst3Presets, AProgramListLoadsTheFactoryPresets) {
    Instance plugin;
    IUnitInfo* units = nullptr;
    ASSERT_EQ(plugin.component->queryInterface(kIUnitInfoIid.bytes, reinterpret_cast<void**>(&units)), kResultOk);
    UnitInfo root{};
    ASSERT_EQ(units->getUnitInfo(0, &root), kResultOk);
    ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(0, &list), kResultOk);
    EXPECT_EQ(root.programListId, list.id);
    ASSERT_EQ(list.programCount, orbelune::kPresetCount + 1);
    String128 name{};
    units->getProgramName(list.id, 0, name);
    EXPECT_EQ(narrow(name), "Default");
    units->getProgramName(list.id, 4, name);
    EXPECT_EQ(narrow(name), "Large Hall");
    EXPECT_EQ(units->getProgramName(list.id, list.programCount, name), kResultFalse);
    vst3::ParameterInfo program{};
    ASSERT_EQ(plugin.controller->getParameterInfo(7, &program), kResultOk);
    EXPECT_EQ(program.flags, kIsProgramChange | kIsList);
    EXPECT_EQ(program.stepCount, list.programCount - 1);

    EditRecorder handler;
    plugin.controller->setComponentHandler(&handler);
    const ParamValue largeHall = 4.0 / (list.programCount - 1);
    ASSERT_EQ(plugin.controller->setParamNormalized(program.id, largeHall), kResultOk);
    EXPECT_TRUE(handler.calls.empty());  // not from inside the host's own call
    const orbelune::Preset& preset = orbelune::presetTable[3];
    for (int index = 0; index < 6; ++index) EXPECT_EQ(plugin.controller->getParamNormalized(index), preset.values[index]);
    EXPECT_EQ(handler.calls, std::vector<std::string>{"restart 4"});  // at the host's next question
    plugin.controller->getParamStringByValue(program.id, largeHall, name);
    EXPECT_EQ(narrow(name), "Large Hall");

    // The audio side loads it at the frame the host sends it, as the VST 2
    // build given the six values there.
    auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(modules().vst2Module, "VSTPluginMain"));
    vst::AEffect* effect = entry(stubhost::hostCallback);
    equivalence::Scenario scenario = equivalence::automationScenario(kBlock);
    scenario[3].changes.clear();
    for (int index = 0; index < 6; ++index) scenario[3].changes.push_back({100, index, preset.values[index]});
    scenario[6].changes = {{0, 0, 0.2f}};
    Instance sounding;
    auto run = blockRunner(sounding.processor);
    EXPECT_EQ(equivalence::firstDifferentBlock(effect, scenario,
                                               [&](float* left, float* right, const equivalence::Block& block) {
                                                   if (block.changes.size() != 6) return run(left, right, block);
                                                   Changes changes;
                                                   changes.queues.emplace_back();
                                                   changes.queues[0].id = program.id;
                                                   changes.queues[0].points = {{100, largeHall}};
                                                   processInPlace(sounding.processor, left, right, block.frames,
                                                                  &changes);
                                               }),
              -1);
    effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);

    // Saved with the program; restored without loading it over the edit.
    MemoryStream saved;
    sounding.component->getState(&saved);
    Instance reopened;
    saved.position = 0;
    ASSERT_EQ(reopened.controller->setComponentState(&saved), kResultOk);
    EXPECT_EQ(reopened.controller->getParamNormalized(program.id), largeHall);
    EXPECT_EQ(reopened.controller->getParamNormalized(0), 0.2f);
    reopened.controller->setParamNormalized(program.id, largeHall);
    EXPECT_EQ(reopened.controller->getParamNormalized(0), 0.2f);
    units->release();
}

// The same presets as files that install beside the bundle: each is a
// state record any instance restores into its preset's values.
TEST(Vst3Presets, FactoryFilesHoldEachPresetsState) {
    for (const orbelune::Preset& preset : orbelune::presetTable) {
        std::ifstream file(std::string(ORBELUNE_VST3_PRESETS) + "/" + preset.name + ".vstpreset", std::ios::binary);
        ASSERT_TRUE(file) << preset.name;
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_GE(bytes.size(), 48u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "VST3");
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "6D4F7262");
        // The chunk list names one 'Comp' chunk: the component's state.
        std::int64_t listAt = 0;
        std::memcpy(&listAt, bytes.data() + 40, 8);
        ASSERT_LE(static_cast<std::size_t>(listAt) + 28, bytes.size());
        EXPECT_EQ(std::string(bytes.begin() + listAt, bytes.begin() + listAt + 4), "List");
        EXPECT_EQ(std::string(bytes.begin() + listAt + 8, bytes.begin() + listAt + 12), "Comp");
        std::int64_t chunkAt = 0, chunkSize = 0;
        std::memcpy(&chunkAt, bytes.data() + listAt + 12, 8);
        std::memcpy(&chunkSize, bytes.data() + listAt + 20, 8);
        Instance plugin;
        MemoryStream chunk;
        chunk.bytes.assign(bytes.begin() + chunkAt, bytes.begin() + chunkAt + chunkSize);
        ASSERT_EQ(plugin.component->setState(&chunk), kResultOk) << preset.name;
        chunk.position = 0;
        ASSERT_EQ(plugin.controller->setComponentState(&chunk), kResultOk);
        for (int index = 0; index < 7; ++index)
            EXPECT_EQ(plugin.controller->getParamNormalized(index), preset.values[index]) << preset.name;
    }
}

}  // namespace
