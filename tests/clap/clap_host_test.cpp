// A small CLAP host of ours, from our own declarations: it loads the real
// .clap through `clap_entry`, walks the factory, drives instances as hosts do
// and holds their sound to the VST 2 build's, bit for bit.
#include <dlfcn.h>
#include <gtest/gtest.h>

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
    const auto* entry() const { return static_cast<const clap::PluginEntry*>(dlsym(clapModule, "clap_entry")); }
    const clap::PluginFactory* factory = nullptr;
    Modules() {
        if (clapModule != nullptr && entry()->init(ORBELUNE_CLAP_BINARY))
            factory = static_cast<const clap::PluginFactory*>(entry()->getFactory(clap::kPluginFactoryId));
    }
};

Modules& modules() {
    static Modules loaded;
    return loaded;
}

// One instance as a host holds it, activated and processing unless the rate is 0.
struct Instance {
    Host host;
    const clap::Plugin* plugin = nullptr;
    const clap::PluginParams* params = nullptr;
    const clap::PluginState* state = nullptr;

    explicit Instance(double rate = 44100.0, bool hostTimers = true) {
        host.offersGuiSupport = hostTimers;
        plugin = modules().factory->createPlugin(modules().factory, &host.record, kId);
        EXPECT_TRUE(plugin->init(plugin));
        params = extension<clap::PluginParams>(plugin, clap::kExtParams);
        state = extension<clap::PluginState>(plugin, clap::kExtState);
        if (rate > 0.0) {
            EXPECT_TRUE(plugin->activate(plugin, rate, 1, 4096) && plugin->startProcessing(plugin));
        }
    }
    ~Instance() { plugin->destroy(plugin); }  // a defensive destroy deactivates
    double value(clap::Id id) const {
        double value = -1.0;
        EXPECT_TRUE(params->getValue(plugin, id, &value));
        return value;
    }
    std::string text(clap::Id id, double value, std::uint32_t capacity = 64) const {
        char shown[64] = {};
        return params->valueToText(plugin, id, value, shown, capacity) ? shown : "refused";
    }
    std::vector<unsigned char> saved() const {
        Stream stream;
        EXPECT_TRUE(state->save(plugin, &stream.out));
        return stream.bytes;
    }
    bool load(const std::vector<unsigned char>& bytes) {
        Stream stream;
        stream.bytes = bytes;
        stream.chunk = 3;
        return state->load(plugin, &stream.in);
    }
};

TEST(ClapEntry, CountsItsInitialisationsAndDescribesOneReverb) {
    ASSERT_NE(modules().factory, nullptr) << dlerror();
    const clap::PluginEntry& entry = *modules().entry();
    ASSERT_TRUE(entry.init(ORBELUNE_CLAP_BINARY));  // a second one, and its undoing, leave it usable
    entry.deinit();
    EXPECT_EQ(entry.getFactory(clap::kPluginFactoryId), modules().factory);

    const clap::PluginFactory& factory = *modules().factory;
    ASSERT_EQ(factory.getPluginCount(&factory), 1u);
    const clap::PluginDescriptor* descriptor = factory.getPluginDescriptor(&factory, 0);
    EXPECT_STREQ(descriptor->id, kId);
    EXPECT_STREQ(descriptor->name, "Drevon Orbelune");
    EXPECT_STREQ(descriptor->vendor, "Drevon Audio Technologies");
    EXPECT_STREQ(descriptor->versionText, "1.0.0");
    std::vector<std::string> features(descriptor->features, descriptor->features + 3);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "reverb", "stereo"}));
    EXPECT_EQ(descriptor->features[3], nullptr);

    Host host;
    EXPECT_EQ(factory.createPlugin(&factory, &host.record, "com.drevon.other"), nullptr);
    host.record.version.major = 0;  // a pre-release host
    EXPECT_EQ(factory.createPlugin(&factory, &host.record, kId), nullptr);
}

TEST(ClapInstance, OffersStereoPortsAndTheParametersOfTheOtherFormats) {
    Instance instance(0.0);
    const auto* ports = extension<clap::PluginAudioPorts>(instance.plugin, clap::kExtAudioPorts);
    for (bool input : {true, false}) {
        clap::AudioPortInfo info{};
        ASSERT_EQ(ports->count(instance.plugin, input), 1u);
        ASSERT_TRUE(ports->get(instance.plugin, 0, input, &info));
        EXPECT_EQ(info.flags, clap::kAudioPortIsMain);
        EXPECT_EQ(info.channelCount, 2u);
        EXPECT_STREQ(info.portType, "stereo");
        EXPECT_EQ(info.inPlacePair, 0u);  // the other direction's port
    }
    ASSERT_EQ(instance.params->count(instance.plugin), 7u);
    for (std::uint32_t index = 0; index < 7; ++index) {
        clap::ParamInfo info{};
        ASSERT_TRUE(instance.params->getInfo(instance.plugin, index, &info));
        EXPECT_EQ(info.id, index);
        EXPECT_EQ(info.flags, index == 6 ? 49u : 32u);  // "Bypass": the host's bypass, stepped, automatable
        EXPECT_EQ(info.maxValue, 1.0);
        EXPECT_EQ(info.defaultValue, instance.value(index));  // a fresh instance is at its defaults
    }
    EXPECT_EQ(instance.text(0, 0.45), "6.91");
    EXPECT_EQ(instance.text(0, 0.45, 3), "6.");  // cut to the host's room, still terminated
    EXPECT_EQ(instance.text(0, 0.45, 0), "refused");
    EXPECT_EQ(instance.text(7, 0.45), "refused");
    EXPECT_EQ(instance.text(6, 0.7), "100");  // a stepped value shows as its step
    double value = -1.0;
    ASSERT_TRUE(instance.params->textToValue(instance.plugin, 4, "40 ms", &value));
    EXPECT_NEAR(value, 40.0 / 120.0, 1e-6);
    value = -1.0;
    for (const char* bad : {"loud", "", "6.91x", "99", "-1"})
        EXPECT_FALSE(instance.params->textToValue(instance.plugin, 0, bad, &value)) << bad;
    EXPECT_EQ(value, -1.0);
    EXPECT_EQ(extension<clap::PluginLatency>(instance.plugin, clap::kExtLatency)->get(instance.plugin), 0u);
}

// Never activated, as a host edits a plug-in on a track that does not play:
// flush is the only way in, and the tail follows the new values.
TEST(ClapInstance, TakesChangesThroughFlushWhileNotProcessing) {
    Instance instance(0.0);
    const auto* tail = extension<clap::PluginTail>(instance.plugin, clap::kExtTail);
    const std::uint32_t before = tail->get(instance.plugin);
    InputList events;
    events.events = {gestureEvent(0, clap::kEventParamGestureBegin, 0), valueEvent(0, 0, 0.9), valueEvent(0, 6, 0.7),
                     valueEvent(0, 5, 1.5), valueEvent(0, 12, 0.5), valueEvent(0, 1, 0.25)};
    events.events.back().header.spaceId = 7;  // another space's event, whatever its type
    OutputList out;
    instance.params->flush(instance.plugin, &events.record, &out.record);
    EXPECT_TRUE(out.calls.empty());
    EXPECT_EQ(instance.value(0), 0.9f);
    EXPECT_EQ(instance.value(6), 1.0);  // stepped
    EXPECT_EQ(instance.value(5), 1.0);  // clamped
    EXPECT_EQ(instance.value(1), 0.6f);
    EXPECT_GT(tail->get(instance.plugin), before);
}

// Without the host's timer a Linux editor would never see its events.
TEST(ClapInstance, OffersNoEditorToAHostWithoutTimers) {
    Instance instance(0.0, false);
    const auto* gui = extension<clap::PluginGui>(instance.plugin, clap::kExtGui);
    EXPECT_FALSE(gui->isApiSupported(instance.plugin, "x11", false));
    EXPECT_FALSE(gui->create(instance.plugin, "x11", false));
}

// The same input and the same values at the same frames through both
// formats, at block starts and inside blocks, at 48 kHz.
TEST(ClapSound, EqualsTheVst2BuildBitForBitUnderAutomation) {
    auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(modules().vst2Module, "VSTPluginMain"));
    for (const auto& scenario : {equivalence::automationScenario(kBlock), equivalence::inBlockScenario(kBlock)}) {
        vst::AEffect* effect = entry(stubhost::hostCallback);
        effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        Instance instance(48000.0);
        EXPECT_EQ(equivalence::firstDifferentBlock(effect, scenario, blockRunner(instance.plugin)), -1);
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    }
}

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
}

TEST(ClapState, RestoresIntoAFreshInstanceAndRefusesWhatIsNotOurs) {
    Instance first;
    InputList events;
    for (clap::Id id : {0u, 1u, 3u, 5u}) events.events.push_back(valueEvent(0, id, 0.1 + 0.2 * id));
    std::vector<float> left(kBlock), right(kBlock);
    processInPlace(first.plugin, left.data(), right.data(), kBlock, events);
    const std::vector<unsigned char> saved = first.saved();
    Instance second;
    ASSERT_TRUE(second.load(saved));
    EXPECT_EQ(second.saved(), saved);
    EXPECT_EQ(second.value(3), 0.7f);

    std::vector<std::vector<unsigned char>> refused = {{saved.begin(), saved.begin() + 20}, {}, saved, saved, saved};
    refused[2].push_back(0);  // longer than ours
    refused[3][8] = refused[3][9] = refused[3][10] = refused[3][11] = 0xFF;  // a NaN for "Decay"
    refused[4][4] = 3;  // a format version we do not know
    refused.emplace_back(saved.size(), 'x');  // foreign
    for (const auto& bytes : refused) {
        EXPECT_FALSE(second.load(bytes));
        EXPECT_EQ(second.saved(), saved);
    }
    Stream failing;  // a stream that fails half way
    failing.bytes = saved;
    failing.in.read = [](const clap::InputStream* stream, void* buffer, std::uint64_t size) -> std::int64_t {
        return static_cast<Stream*>(stream->context)->position > 8 ? -1 : Stream::read(stream, buffer, size);
    };
    EXPECT_FALSE(second.state->load(second.plugin, &failing.in));
    EXPECT_EQ(second.saved(), saved);
}

// The factory presets as a host indexes them, with no instance: one provider,
// presets inside the module, each for this plug-in; then one loaded into an
// instance by its key sets the six values and tells the host, and a key that
// names none is refused and reported.
TEST(ClapPresets, DiscoveredWithoutAnInstanceAndLoadedIntoOne) {
    struct Index {
        std::vector<clap::PresetDiscoveryLocation> locations;
        std::vector<std::pair<std::string, std::string>> presets;  // name, key
        std::vector<std::string> pluginIds;
    } index;
    clap::PresetDiscoveryIndexer indexer{clap::kVersion, "test", "Drevon", "", "1.0", &index, nullptr, nullptr,
                                         nullptr, nullptr};
    indexer.declareLocation = [](const clap::PresetDiscoveryIndexer* self, const clap::PresetDiscoveryLocation* at) {
        static_cast<Index*>(self->indexerData)->locations.push_back(*at);
        return true;
    };
    const auto* discovery = static_cast<const clap::PresetDiscoveryFactory*>(
        modules().entry()->getFactory(clap::kPresetDiscoveryFactoryId));
    ASSERT_NE(discovery, nullptr);
    ASSERT_EQ(discovery->count(discovery), 1u);
    const auto* provider = discovery->create(discovery, &indexer, discovery->getDescriptor(discovery, 0)->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(index.locations.size(), 1u);
    EXPECT_EQ(index.locations[0].kind, clap::kPresetLocationPlugin);
    EXPECT_EQ(index.locations[0].flags, clap::kPresetIsFactoryContent);
    clap::PresetDiscoveryMetadataReceiver receiver{};
    receiver.receiverData = &index;
    receiver.beginPreset = [](const clap::PresetDiscoveryMetadataReceiver* self, const char* name, const char* key) {
        static_cast<Index*>(self->receiverData)->presets.push_back({name, key});
        return true;
    };
    receiver.addPluginId = [](const clap::PresetDiscoveryMetadataReceiver* self, const clap::UniversalPluginId* id) {
        static_cast<Index*>(self->receiverData)->pluginIds.push_back(std::string(id->abi) + ":" + id->id);
    };
    ASSERT_TRUE(provider->getMetadata(provider, clap::kPresetLocationPlugin, nullptr, &receiver));
    provider->destroy(provider);
    ASSERT_EQ(index.presets.size(), 6u);
    EXPECT_EQ(index.presets[3].first, "Large Hall");
    EXPECT_EQ(index.pluginIds, std::vector<std::string>(6, std::string("clap:") + kId));

    Instance plugin;
    const auto* load = extension<clap::PluginPresetLoad>(plugin.plugin, clap::kExtPresetLoad);
    ASSERT_NE(load, nullptr);
    ASSERT_TRUE(load->fromLocation(plugin.plugin, clap::kPresetLocationPlugin, nullptr, index.presets[3].second.c_str()));
    const float hall[6] = {0.75f, 0.95f, 0.35f, 0.7f, 0.25f, 0.35f};
    for (clap::Id id = 0; id < 6; ++id) EXPECT_EQ(plugin.value(id), hall[id]) << id;
    EXPECT_EQ(plugin.host.rescans, std::vector<std::uint32_t>{clap::kParamRescanValues});
    EXPECT_FALSE(load->fromLocation(plugin.plugin, clap::kPresetLocationPlugin, nullptr, "no_such_room"));
    EXPECT_EQ(plugin.host.presetReports,
              (std::vector<std::string>{"loaded " + index.presets[3].second, "error no_such_room"}));
    EXPECT_EQ(plugin.value(0), 0.75f);
}

// The host's scale and sizes, before the editor has a parent: twice the
// size at 2, and any size the host proposes brought to the panel's shape.
TEST(ClapGui, TakesTheHostsScaleAndKeepsItsShape) {
    Instance plugin;
    const auto* gui = extension<clap::PluginGui>(plugin.plugin, clap::kExtGui);
    ASSERT_TRUE(gui->create(plugin.plugin, "x11", false));
    ASSERT_TRUE(gui->setScale(plugin.plugin, 2.0));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->getSize(plugin.plugin, &width, &height));
    EXPECT_EQ(width, 1680u);
    EXPECT_EQ(height, 1040u);
    clap::GuiResizeHints hints{};
    ASSERT_TRUE(gui->canResize(plugin.plugin) && gui->getResizeHints(plugin.plugin, &hints));
    EXPECT_TRUE(hints.preserveAspectRatio);
    EXPECT_EQ(hints.aspectRatioWidth * 520, hints.aspectRatioHeight * 840);
    width = height = 1000;
    ASSERT_TRUE(gui->adjustSize(plugin.plugin, &width, &height));
    EXPECT_EQ(width, 1000u);
    EXPECT_EQ(height, 619u);
    ASSERT_TRUE(gui->setSize(plugin.plugin, width, height));
    gui->getSize(plugin.plugin, &width, &height);
    EXPECT_EQ(width, 1000u);
    gui->destroy(plugin.plugin);
}

}  // namespace
