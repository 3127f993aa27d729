// The cost of each plug-in format's adapter around the one engine: the VST 2
// plug-in, the VST 3 and LV2 bundles and the .clap, loaded from their
// binaries, run the same stereo noise in 512-frame blocks at 44.1 kHz. Rounds
// alternate between them and each figure is the median over rounds, so
// machine drift falls on all alike. Then a dense automation stream, a change
// of "Decay" every 16 frames, through CLAP's events and through VST 2 blocks
// split at the same frames.
//
//   format_bench VST2_PLUGIN.so VST3_BINARY.so LV2_BINARY.so PLUGIN.clap [--rounds N]
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "clap/host_objects.h"
#include "core/parameters.h"
#include "lv2/ports.h"
#include "vst2/aeffect.h"
#include "vst3/abi.h"
#include "vst3/host_objects.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlock = 512;
constexpr int kBlocksPerRound = 2000;  // about 23 s of audio

vst::intptr quietHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::vector<float> noiseBlock(unsigned seed) {
    std::vector<float> block(kBlock);
    for (float& sample : block) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<float>(static_cast<int>(seed >> 8) - (1 << 23)) / static_cast<float>(1 << 25);
    }
    return block;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount < 5) {
        std::fprintf(stderr, "usage: %s VST2_PLUGIN.so VST3_BINARY.so LV2_BINARY.so PLUGIN.clap [--rounds N]\n",
                     arguments[0]);
        return 2;
    }
    int rounds = 21;
    if (argumentCount > 6 && std::strcmp(arguments[5], "--rounds") == 0) rounds = std::max(1, std::atoi(arguments[6]));

    void* vst2Library = dlopen(arguments[1], RTLD_NOW | RTLD_LOCAL);
    void* vst3Library = dlopen(arguments[2], RTLD_NOW | RTLD_LOCAL);
    void* lv2Library = dlopen(arguments[3], RTLD_NOW | RTLD_LOCAL);
    void* clapLibrary = dlopen(arguments[4], RTLD_NOW | RTLD_LOCAL);
    if (vst2Library == nullptr || vst3Library == nullptr || lv2Library == nullptr || clapLibrary == nullptr) {
        std::fprintf(stderr, "cannot load: %s\n", dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(vst2Library, "VSTPluginMain"));
    vst::AEffect* effect = entry(quietHost);
    effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, vst::effMainsChanged, 0, 1, nullptr, 0.0f);

    reinterpret_cast<bool (*)(void*)>(dlsym(vst3Library, "ModuleEntry"))(vst3Library);
    auto* factory = reinterpret_cast<vst3::IPluginFactory* (*)()>(dlsym(vst3Library, "GetPluginFactory"))();
    const vst3host::Parts parts = vst3host::createParts(factory);
    vst3::IComponent* component = parts.component;
    vst3::IAudioProcessor* processor = parts.processor;
    component->initialize(nullptr);
    vst3::ProcessSetup setup{0, vst3::kSample32, kBlock, 44100.0};
    processor->setupProcessing(&setup);
    component->setActive(1);
    processor->setProcessing(1);

    namespace ports = orbelune::lv2ports;
    const LV2_Descriptor* lv2 = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(lv2Library, "lv2_descriptor"))(0);
    LV2_Handle lv2Instance = lv2->instantiate(lv2, 44100.0, "", nullptr);
    float controls[ports::kPortCount] = {};
    for (int parameter = 0; parameter < orbelune::kParamBypass; ++parameter)
        controls[ports::kFirstControl + parameter] =
            orbelune::displayNumber(parameter, orbelune::parameterTable[parameter].defaultValue);
    controls[ports::kEnabled] = 1.0f;
    for (uint32_t port = ports::kFirstControl; port < ports::kPortCount; ++port)
        lv2->connect_port(lv2Instance, port, &controls[port]);
    lv2->activate(lv2Instance);

    const auto* clapEntry = static_cast<const clap::PluginEntry*>(dlsym(clapLibrary, "clap_entry"));
    clapEntry->init(arguments[4]);
    const auto* clapFactory = static_cast<const clap::PluginFactory*>(clapEntry->getFactory(clap::kPluginFactoryId));
    claphost::Host clapHost;
    const clap::Plugin* clapPlugin = clapFactory->createPlugin(clapFactory, &clapHost.record, "com.drevon.orbelune");
    clapPlugin->init(clapPlugin);
    clapPlugin->activate(clapPlugin, 44100.0, 1, kBlock);
    clapPlugin->startProcessing(clapPlugin);

    const std::vector<float> sourceLeft = noiseBlock(1);
    const std::vector<float> sourceRight = noiseBlock(2);
    std::vector<float> left(kBlock), right(kBlock);
    auto timeVst2 = [&] {
        const auto start = Clock::now();
        for (int block = 0; block < kBlocksPerRound; ++block) {
            left = sourceLeft;
            right = sourceRight;
            float* channels[2] = {left.data(), right.data()};
            effect->processReplacing(effect, channels, channels, kBlock);
        }
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / (kBlocksPerRound * kBlock);
    };
    auto timeVst3 = [&] {
        const auto start = Clock::now();
        vst3host::Changes none;  // a host hands an empty change list with most blocks
        for (int block = 0; block < kBlocksPerRound; ++block) {
            left = sourceLeft;
            right = sourceRight;
            vst3host::processInPlace(processor, left, right, &none);
        }
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / (kBlocksPerRound * kBlock);
    };
    // Separate output buffers, as LV2 hosts usually give them.
    std::vector<float> outLeft(kBlock), outRight(kBlock);
    lv2->connect_port(lv2Instance, ports::kInputLeft, left.data());
    lv2->connect_port(lv2Instance, ports::kInputRight, right.data());
    lv2->connect_port(lv2Instance, ports::kOutputLeft, outLeft.data());
    lv2->connect_port(lv2Instance, ports::kOutputRight, outRight.data());
    auto timeLv2 = [&] {
        const auto start = Clock::now();
        for (int block = 0; block < kBlocksPerRound; ++block) {
            left = sourceLeft;
            right = sourceRight;
            lv2->run(lv2Instance, kBlock);
        }
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / (kBlocksPerRound * kBlock);
    };
    // In place, with the empty event list a host hands with most blocks.
    const claphost::InputList noEvents;
    auto timeClap = [&](const claphost::InputList* events) {
        const auto start = Clock::now();
        for (int block = 0; block < kBlocksPerRound; ++block) {
            left = sourceLeft;
            right = sourceRight;
            claphost::processInPlace(clapPlugin, left.data(), right.data(), kBlock, events[block % 4]);
        }
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / (kBlocksPerRound * kBlock);
    };
    const claphost::InputList plain[4] = {noEvents, noEvents, noEvents, noEvents};

    // The dense stream: a new "Decay" every 16 frames, sweeping 0.3 to 0.7 and
    // back over four blocks, as CLAP events and as VST 2 blocks split there.
    constexpr int kChangeEvery = 16;
    auto denseValue = [](int block, int frame) {
        const int step = (block % 4) * (kBlock / kChangeEvery) + frame / kChangeEvery;
        return 0.3f + 0.4f * static_cast<float>(step < 64 ? step : 127 - step) / 64.0f;
    };
    claphost::InputList dense[4];
    for (int block = 0; block < 4; ++block)
        for (int frame = 0; frame < kBlock; frame += kChangeEvery)
            dense[block].events.push_back(claphost::valueEvent(frame, 0, denseValue(block, frame)));
    auto timeVst2Dense = [&] {
        const auto start = Clock::now();
        for (int block = 0; block < kBlocksPerRound; ++block) {
            left = sourceLeft;
            right = sourceRight;
            for (int frame = 0; frame < kBlock; frame += kChangeEvery) {
                effect->setParameter(effect, 0, denseValue(block, frame));
                float* channels[2] = {left.data() + frame, right.data() + frame};
                effect->processReplacing(effect, channels, channels, kChangeEvery);
            }
        }
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / (kBlocksPerRound * kBlock);
    };

    timeVst2();
    timeVst3();
    timeLv2();
    timeClap(plain);
    std::vector<double> vst2Times, vst3Times, lv2Times, clapTimes, clapDenseTimes, vst2DenseTimes;
    for (int round = 0; round < rounds; ++round) {
        vst2Times.push_back(timeVst2());
        vst3Times.push_back(timeVst3());
        lv2Times.push_back(timeLv2());
        clapTimes.push_back(timeClap(plain));
        clapDenseTimes.push_back(timeClap(dense));
        vst2DenseTimes.push_back(timeVst2Dense());
    }
    const double vst2 = median(vst2Times);
    const double vst3 = median(vst3Times);
    const double lv2Time = median(lv2Times);
    const double clapTime = median(clapTimes);
    const double clapDense = median(clapDenseTimes);
    const double vst2Dense = median(vst2DenseTimes);
    const double realTime = 1e9 / 44100.0;
    std::printf("formats (median of %d rounds, ns per stereo frame): VST 2 %.1f (%.0fx real time), "
                "VST 3 %.1f (%.0fx), LV2 %.1f (%.0fx), CLAP %.1f (%.0fx); VST 3 / VST 2 = %.3f, LV2 / VST 2 = %.3f, "
                "CLAP / VST 2 = %.3f\n",
                rounds, vst2, realTime / vst2, vst3, realTime / vst3, lv2Time, realTime / lv2Time, clapTime,
                realTime / clapTime, vst3 / vst2, lv2Time / vst2, clapTime / vst2);
    std::printf("dense automation (\"Decay\" every %d frames, ns per stereo frame): CLAP events %.1f (%.2fx its "
                "unautomated cost), VST 2 split at the same frames %.1f; CLAP / VST 2 = %.3f\n",
                kChangeEvery, clapDense, clapDense / clapTime, vst2Dense, clapDense / vst2Dense);
    if (lv2->deactivate != nullptr) lv2->deactivate(lv2Instance);
    lv2->cleanup(lv2Instance);

    clapPlugin->stopProcessing(clapPlugin);
    clapPlugin->deactivate(clapPlugin);
    clapPlugin->destroy(clapPlugin);
    clapEntry->deinit();

    processor->setProcessing(0);
    component->setActive(0);
    component->terminate();
    processor->release();
    parts.controller->release();
    component->release();
    effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
