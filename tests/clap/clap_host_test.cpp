// A small CLAP host of ours, from our own declarations: it loads the real
// .clap through `clap_entry`, walks the factory, drives instances as hosts do
// and holds their sound to the VST 2 build's, bit for bit.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "clap/host_objects.h"
#include "vst2/aeffect.h"

namespace {

using namespace claphost;

constexpr int kBlock = 256;
constexpr const char* kId = "com.drevon.orbelune";

struct Modules {
    void* clapModule = dlopen(ORBELUNE_CLAP_BINARY, RTLD_NOW | RTLD_LOCAL);
    void* vst2Module = dlopen(ORBELUNE_PLUGIN_BINARY, RTLD_NOW | RTLD_LOCAL);
    const clap::PluginEntry* entry = nullptr;
    const clap::PluginFactory* factory = nullptr;
    Modules() {
        if (clapModule == nullptr) return;
        entry = static_cast<const clap::PluginEntry*>(dlsym(clapModule, "clap_entry"));
        if (entry != nullptr && entry->init(ORBELUNE_CLAP_BINARY))
            factory = static_cast<const clap::PluginFactory*>(entry->getFactory(clap::kPluginFactoryId));
    }
    ~Modules() {
        if (factory != nullptr) entry->deinit();
        if (clapModule != nullptr) dlclose(clapModule);
        if (vst2Module != nullptr) dlclose(vst2Module);
    }
};

Modules& modules() {
    static Modules loaded;
    return loaded;
}

// One instance as a host holds it, activated at `rate` unless the rate is 0.
struct Instance {
    Host host;
    const clap::Plugin* plugin = nullptr;
    const clap::PluginParams* params = nullptr;
    const clap::PluginState* state = nullptr;
    bool active = false;

    explicit Instance(double rate = 44100.0, bool hostTimers = true) {
        host.offersGuiSupport = hostTimers;
        plugin = modules().factory->createPlugin(modules().factory, &host.record, kId);
        if (plugin == nullptr || !plugin->init(plugin)) return;
        params = extension<clap::PluginParams>(plugin, clap::kExtParams);
        state = extension<clap::PluginState>(plugin, clap::kExtState);
        if (rate > 0.0) active = plugin->activate(plugin, rate, 1, 4096) && plugin->startProcessing(plugin);
    }
    ~Instance() {
        if (plugin == nullptr) return;
        if (active) {
            plugin->stopProcessing(plugin);
            plugin->deactivate(plugin);
        }
        plugin->destroy(plugin);
    }
    void flush(const InputList& events) {
        OutputList out;
        params->flush(plugin, &events.record, &out.record);
        EXPECT_TRUE(out.calls.empty());  // nothing of the editor's to send
    }
    double value(clap::Id id) const {
        double value = -1.0;
        EXPECT_TRUE(params->getValue(plugin, id, &value));
        return value;
    }
    std::vector<unsigned char> saved() const {
        Stream stream;
        EXPECT_TRUE(state->save(plugin, &stream.out));
        return stream.bytes;
    }
    bool load(const std::vector<unsigned char>& bytes, std::size_t chunk = 3) {
        Stream stream;
        stream.bytes = bytes;
        stream.chunk = chunk;
        return state->load(plugin, &stream.in);
    }
};

std::string text(const Instance& instance, clap::Id id, double value, std::uint32_t capacity = 64) {
    char shown[64] = "unchanged";
    if (!instance.params->valueToText(instance.plugin, id, value, shown, capacity)) return "refused";
    return shown;
}

TEST(ClapEntry, CountsItsInitialisationsAndOffersOneReverb) {
    ASSERT_NE(modules().factory, nullptr) << dlerror();
    const clap::PluginEntry& entry = *modules().entry;
    EXPECT_EQ(entry.version.major, 1u);
    // A second initialisation and its undoing leave the module usable.
    ASSERT_TRUE(entry.init(ORBELUNE_CLAP_BINARY));
    entry.deinit();
    EXPECT_EQ(entry.getFactory(clap::kPluginFactoryId), modules().factory);
    EXPECT_EQ(entry.getFactory("clap.preset-discovery-factory/2"), nullptr);

    const clap::PluginFactory& factory = *modules().factory;
    ASSERT_EQ(factory.getPluginCount(&factory), 1u);
    EXPECT_EQ(factory.getPluginDescriptor(&factory, 1), nullptr);
    const clap::PluginDescriptor* descriptor = factory.getPluginDescriptor(&factory, 0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->id, kId);
    EXPECT_STREQ(descriptor->name, "Drevon Orbelune");
    EXPECT_STREQ(descriptor->vendor, "Drevon Audio Technologies");
    EXPECT_STREQ(descriptor->versionText, "1.0.0");
    std::vector<std::string> features;
    for (const char* const* feature = descriptor->features; *feature != nullptr; ++feature) features.push_back(*feature);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "reverb", "stereo"}));

    Host host;
    EXPECT_EQ(factory.createPlugin(&factory, &host.record, "com.drevon.other"), nullptr);
    EXPECT_EQ(factory.createPlugin(&factory, nullptr, kId), nullptr);
    host.record.version.major = 0;  // a pre-release host
    EXPECT_EQ(factory.createPlugin(&factory, &host.record, kId), nullptr);
}

TEST(ClapInstance, OffersStereoPortsAndTheParametersOfTheOtherFormats) {
    Instance instance(0.0);
    ASSERT_NE(instance.params, nullptr);
    const clap::Plugin* plugin = instance.plugin;
    const auto* ports = extension<clap::PluginAudioPorts>(plugin, clap::kExtAudioPorts);
    ASSERT_NE(ports, nullptr);
    for (bool input : {true, false}) {
        ASSERT_EQ(ports->count(plugin, input), 1u);
        clap::AudioPortInfo info{};
        ASSERT_TRUE(ports->get(plugin, 0, input, &info));
        EXPECT_EQ(info.id, 0u);
        EXPECT_EQ(info.flags, clap::kAudioPortIsMain);
        EXPECT_EQ(info.channelCount, 2u);
        EXPECT_STREQ(info.portType, "stereo");
        EXPECT_EQ(info.inPlacePair, 0u);
        EXPECT_FALSE(ports->get(plugin, 1, input, &info));
    }
    EXPECT_EQ(plugin->getExtension(plugin, "clap.note-ports"), nullptr);

    const char* names[] = {"Decay", "Size", "Damping", "3D Width", "Pre-Delay", "Mix", "Bypass"};
    const double defaults[] = {0.45f, 0.6f, 0.4f, 0.85f, 0.15f, 0.35f, 0.0f};
    ASSERT_EQ(instance.params->count(plugin), 7u);
    for (std::uint32_t index = 0; index < 7; ++index) {
        clap::ParamInfo info{};
        ASSERT_TRUE(instance.params->getInfo(plugin, index, &info));
        EXPECT_EQ(info.id, index);
        EXPECT_STREQ(info.name, names[index]);
        EXPECT_EQ(info.flags, index == 6 ? 49u : 32u);  // Bypass: the host's bypass, stepped, automatable
        EXPECT_EQ(info.minValue, 0.0);
        EXPECT_EQ(info.maxValue, 1.0);
        EXPECT_EQ(info.defaultValue, defaults[index]) << names[index];
        EXPECT_EQ(instance.value(index), defaults[index]);
    }
    clap::ParamInfo none{};
    EXPECT_FALSE(instance.params->getInfo(plugin, 7, &none));
    double untouched = -1.0;
    EXPECT_FALSE(instance.params->getValue(plugin, 7, &untouched));

    EXPECT_EQ(text(instance, 0, 0.45), "6.91");
    EXPECT_EQ(text(instance, 0, 0.45, 3), "6.");  // cut to the host's room, still terminated
    EXPECT_EQ(text(instance, 0, 0.45, 0), "refused");
    EXPECT_EQ(text(instance, 7, 0.45), "refused");
    EXPECT_EQ(text(instance, 6, 0.7), "100");  // a stepped value shows as its step
    double value = -1.0;
    ASSERT_TRUE(instance.params->textToValue(plugin, 0, "6.91", &value));
    EXPECT_EQ(text(instance, 0, value), "6.91");
    ASSERT_TRUE(instance.params->textToValue(plugin, 4, "40 ms", &value));
    EXPECT_NEAR(value, 40.0 / 120.0, 1e-6);
    value = -1.0;
    for (const char* bad : {"loud", "", "6.91x", "99", "-1"})
        EXPECT_FALSE(instance.params->textToValue(plugin, 0, bad, &value)) << bad;
    EXPECT_FALSE(instance.params->textToValue(plugin, 0, nullptr, &value));
    EXPECT_FALSE(instance.params->textToValue(plugin, 9, "1", &value));
    EXPECT_EQ(value, -1.0);
}

// Never activated, as a host edits a plug-in on a track that does not play:
// flush is the only way in, and the tail follows the new values.
TEST(ClapInstance, TakesChangesThroughFlushWhileNotProcessing) {
    Instance instance(0.0);
    const auto* tail = extension<clap::PluginTail>(instance.plugin, clap::kExtTail);
    ASSERT_NE(tail, nullptr);
    const std::uint32_t before = tail->get(instance.plugin);
    EXPECT_GT(before, 0u);
    InputList events;
    events.events = {gestureEvent(0, clap::kEventParamGestureBegin, 0), valueEvent(0, 0, 0.9), valueEvent(0, 6, 0.7),
                     valueEvent(0, 5, 1.5), valueEvent(0, 12, 0.5)};
    events.events.push_back(valueEvent(0, 1, 0.25));
    events.events.back().header.spaceId = 7;  // another space's event, whatever its type
    instance.flush(events);
    EXPECT_EQ(instance.value(0), 0.9f);
    EXPECT_EQ(instance.value(6), 1.0);  // stepped
    EXPECT_EQ(instance.value(5), 1.0);  // clamped
    EXPECT_EQ(instance.value(1), 0.6f);
    EXPECT_GT(tail->get(instance.plugin), before);
    const auto* latency = extension<clap::PluginLatency>(instance.plugin, clap::kExtLatency);
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->get(instance.plugin), 0u);
}

// Without the host's timer a Linux editor would never see its events: it is
// not offered.
TEST(ClapInstance, OffersNoEditorToAHostWithoutTimers) {
    Instance instance(0.0, false);
    const auto* gui = extension<clap::PluginGui>(instance.plugin, clap::kExtGui);
    ASSERT_NE(gui, nullptr);
    EXPECT_FALSE(gui->isApiSupported(instance.plugin, "x11", false));
    EXPECT_FALSE(gui->create(instance.plugin, "x11", false));
}

// The same input and the same values at the same frames through both
// formats, at block starts and inside blocks, at 48 kHz.
TEST(ClapSound, EqualsTheVst2BuildBitForBitUnderAutomation) {
    ASSERT_NE(modules().vst2Module, nullptr);
    auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(modules().vst2Module, "VSTPluginMain"));
    for (const auto& scenario : {equivalence::automationScenario(kBlock), equivalence::inBlockScenario(kBlock)}) {
        vst::AEffect* effect = entry(stubhost::hostCallback);
        effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        Instance instance(48000.0);
        ASSERT_TRUE(instance.active);
        EXPECT_EQ(equivalence::firstDifferentBlock(effect, scenario, blockRunner(instance.plugin)), -1);
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    }
}

// A reverb rings on after its input, until the host resets it.
TEST(ClapSound, RingsOnAfterItsInputUntilReset) {
    Instance instance;
    unsigned seed = 5;
    std::vector<float> left(kBlock), right(kBlock);
    for (int block = 0; block < 8; ++block) {
        for (int frame = 0; frame < kBlock; ++frame) left[frame] = right[frame] = stubhost::noise(seed);
        processInPlace(instance.plugin, left.data(), right.data(), kBlock);
    }
    const std::vector<float> silence(kBlock, 0.0f);
    left = right = silence;
    EXPECT_EQ(processInPlace(instance.plugin, left.data(), right.data(), kBlock), clap::kProcessContinue);
    EXPECT_NE(left, silence);
    instance.plugin->reset(instance.plugin);
    left = right = silence;
    processInPlace(instance.plugin, left.data(), right.data(), kBlock);
    EXPECT_EQ(left, silence);
    EXPECT_EQ(right, silence);
}

TEST(ClapState, RestoresIntoAFreshInstanceAndRefusesWhatIsNotOurs) {
    Instance first;
    InputList events;
    for (clap::Id id : {0u, 1u, 3u, 5u}) events.events.push_back(valueEvent(0, id, 0.1 + 0.2 * id));
    first.flush(events);
    const std::vector<unsigned char> saved = first.saved();

    Instance second;
    ASSERT_TRUE(second.load(saved));
    EXPECT_EQ(second.saved(), saved);
    EXPECT_EQ(second.value(5), 1.0);  // asked for 1.1: clamped into range
    unsigned seed = 3;
    for (int block = 0; block < 8; ++block) {
        std::vector<float> a(kBlock), b(kBlock);
        for (int frame = 0; frame < kBlock; ++frame) a[frame] = b[frame] = stubhost::noise(seed);
        std::vector<float> c = a, d = b;
        EXPECT_EQ(processInPlace(first.plugin, a.data(), b.data(), kBlock), clap::kProcessContinue);
        processInPlace(second.plugin, c.data(), d.data(), kBlock);
        ASSERT_EQ(a, c);
        ASSERT_EQ(b, d);
    }

    std::vector<std::vector<unsigned char>> refused = {
        std::vector<unsigned char>(saved.begin(), saved.begin() + 20),  // truncated
        std::vector<unsigned char>(saved.size(), 'x'),                  // foreign
        {},
    };
    refused.push_back(saved);
    refused.back().push_back(0);  // longer than ours
    refused.push_back(saved);
    std::memset(refused.back().data() + 8, 0xFF, 4);  // a NaN for "Decay"
    refused.push_back(saved);
    refused.back()[4] = 2;  // a format version we do not know
    const std::vector<unsigned char> before = second.saved();
    for (const auto& bytes : refused) {
        EXPECT_FALSE(second.load(bytes));
        EXPECT_EQ(second.saved(), before);
    }
    Stream failing;  // a stream that fails half way
    failing.bytes = saved;
    failing.in.read = [](const clap::InputStream* stream, void* buffer, std::uint64_t size) -> std::int64_t {
        return static_cast<Stream*>(stream->context)->position > 8 ? -1 : Stream::read(stream, buffer, size);
    };
    EXPECT_FALSE(second.state->load(second.plugin, &failing.in));
    EXPECT_EQ(second.saved(), before);
}

}  // namespace
