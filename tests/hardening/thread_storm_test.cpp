// A host's audio thread, automation thread and GUI thread all on one instance.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/delay_lines.h"
#include "vst2/instance.h"
#include "vst3/abi.h"
#include "vst3/host_objects.h"
#include "unit/test_host.h"

// The VST 3 module's entry, linked in.
extern "C" vst3::IPluginFactory* GetPluginFactory();

namespace {

constexpr int kBlockFrames = 256;
constexpr int kValueSteps = 1024;  // the writer only ever stores k/1024

bool isWrittenValue(float value, float initial) {
    if (value == initial) return true;
    const float scaled = value * kValueSteps;
    return value >= 0.0f && value <= 1.0f && scaled == std::floor(scaled);
}

TEST(ThreadStorm, AutomationAndGuiBesideProcessing) {
    testhost::Instance plugin;
    vst::AEffect* effect = plugin.get();
    auto& instance = *orbelune::instanceOf(effect);
    float initial[orbelune::kParamCount];
    for (int index = 0; index < orbelune::kParamCount; ++index) initial[index] = effect->getParameter(effect, index);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<bool> tornValue{false};
    std::atomic<bool> badSample{false};

    std::thread audio([&] {
        std::vector<float> left(kBlockFrames), right(kBlockFrames);
        float* channels[] = {left.data(), right.data()};
        unsigned noise = 1;
        while (!stop.load()) {
            for (int frame = 0; frame < kBlockFrames; ++frame) {
                left[frame] = stubhost::noise(noise);
                right[frame] = -left[frame];
            }
            effect->processReplacing(effect, channels, channels, kBlockFrames);
            for (int frame = 0; frame < kBlockFrames; ++frame) {
                if (!std::isfinite(left[frame]) || std::fabs(right[frame]) > 0.99000001f) badSample = true;
            }
            blocks.fetch_add(1);
        }
    });
    std::thread automation([&] {
        for (int step = 0; step < 20000; ++step) {
            // Bypass stays below its threshold so that every block runs the network.
            const int index = step % (orbelune::kParamCount - 1);
            effect->setParameter(effect, index, static_cast<float>(step % (kValueSteps + 1)) / kValueSteps);
            if (step % 500 == 0) std::this_thread::yield();
        }
    });
    std::thread gui([&] {
        while (!stop.load()) {
            for (int index = 0; index < orbelune::kParamCount; ++index) {
                if (!isWrittenValue(effect->getParameter(effect, index), initial[index])) tornValue = true;
            }
            const float meter = instance.plugin.outputMeter.load(std::memory_order_relaxed);
            if (!(meter >= 0.0f && meter < 1.0f)) tornValue = true;
        }
    });

    automation.join();
    while (blocks.load() < 50) std::this_thread::yield();
    stop = true;
    audio.join();
    gui.join();

    EXPECT_FALSE(tornValue.load());
    EXPECT_FALSE(badSample.load());

    // The last "Size" request is applied by the next processed block, once.
    effect->setParameter(effect, orbelune::kParamSize, 0.25f);
    float silence[kBlockFrames] = {};
    float* channels[] = {silence, silence};
    effect->processReplacing(effect, channels, channels, kBlockFrames);
    EXPECT_EQ(instance.plugin.engine.rebuildRequested.load(), 0);
    for (int line = 0; line < orbelune::kLineCount; ++line) {
        EXPECT_EQ(instance.plugin.engine.lineLength[line], orbelune::lineLengthFor(line, 0.25f, instance.plugin.sampleRate));
    }
}

// A VST 3 host's audio thread processes with automation while its user-
// interface thread edits, reads texts and saves the state: the two sides of
// the one object share nothing unguarded.
TEST(ThreadStorm, Vst3ProcessingBesideTheControllerAndTheState) {
    using namespace vst3;
    const vst3host::Parts parts = vst3host::createParts(GetPluginFactory());
    ASSERT_NE(parts.controller, nullptr);
    IComponent* component = parts.component;
    IAudioProcessor* processor = parts.processor;
    IEditController* controller = parts.controller;
    component->initialize(nullptr);
    component->setActive(1);

    std::atomic<bool> stop{false};
    std::atomic<bool> badSample{false};
    std::thread audio([&] {
        std::vector<float> left(kBlockFrames), right(kBlockFrames);
        unsigned noise = 3;
        for (int block = 0; !stop.load() || block < 50; ++block) {
            vst3host::Changes changes;
            vst3host::Queue queue;
            queue.id = static_cast<ParamID>(block % (orbelune::kParamCount - 1));
            queue.points = {{0, static_cast<double>(block % 11) / 10.0}};
            changes.queues.push_back(queue);
            for (int frame = 0; frame < kBlockFrames; ++frame) left[frame] = right[frame] = stubhost::noise(noise);
            vst3host::processInPlace(processor, left, right, &changes);
            for (const float sample : left) badSample = badSample || !std::isfinite(sample);
        }
    });
    for (int step = 0; step < 2000; ++step) {
        const ParamID id = static_cast<ParamID>(step % orbelune::kParamCount);
        controller->setParamNormalized(id, static_cast<double>(step % 7) / 6.0);
        TChar text[128];
        controller->getParamStringByValue(id, controller->getParamNormalized(id), text);
        vst3host::MemoryStream saved;
        component->getState(&saved);
    }
    stop = true;
    audio.join();
    EXPECT_FALSE(badSample.load());

    component->setActive(0);
    component->terminate();
    controller->release();
    processor->release();
    component->release();
}

}  // namespace
