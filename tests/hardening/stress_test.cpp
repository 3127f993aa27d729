// Validator-style cycles: many instances created, prepared, run and closed.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "vst2/instance.h"
#include "unit/test_host.h"

namespace {

constexpr int kFrames = 128;

std::vector<float> noise(int frames, unsigned seed) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    for (float& sample : samples) sample = stubhost::noise(seed);
    return samples;
}

void processOnce(vst::AEffect* effect, std::vector<float>& left, std::vector<float>& right) {
    float* channels[] = {left.data(), right.data()};
    effect->processReplacing(effect, channels, channels, static_cast<int>(left.size()));
}

TEST(StressCycles, TenThousandCreatePrepareProcessClose) {
    const float rates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f, 384000.0f};
    constexpr int kAlive = 4;
    vst::AEffect* alive[kAlive] = {};
    int firstStarts = 0;  // times the count went from 0 to 1

    for (int cycle = 0; cycle < 10000; ++cycle) {
        const int slot = cycle % kAlive;
        if (alive[slot] != nullptr) {
            testhost::dispatch(alive[slot], vst::effClose);
            alive[slot] = nullptr;
        }
        if (orbelune::module.instanceCount == 0) {
            ASSERT_EQ(orbelune::module.gdiplusToken, 0u);  // stopped with the last instance
            ++firstStarts;
        }
        alive[slot] = VSTPluginMain(stubhost::hostCallback);
        ASSERT_NE(alive[slot], nullptr);
        ASSERT_NE(orbelune::module.gdiplusToken, 0u);  // started with the first
        testhost::dispatch(alive[slot], vst::effSetSampleRate, 0, 0, nullptr, rates[cycle % 9]);
        testhost::dispatch(alive[slot], vst::effMainsChanged, 0, 1);
        auto left = noise(kFrames, static_cast<unsigned>(cycle));
        auto right = noise(kFrames, static_cast<unsigned>(cycle) + 7u);
        processOnce(alive[slot], left, right);
        if (cycle % 97 == 0) {
            // Close everything now and then, so GDI+ goes down and comes up again.
            for (auto*& effect : alive) {
                if (effect != nullptr) testhost::dispatch(effect, vst::effClose);
                effect = nullptr;
            }
            ASSERT_EQ(orbelune::module.instanceCount, 0);
            ASSERT_EQ(orbelune::module.gdiplusToken, 0u);
        }
    }
    for (auto*& effect : alive) {
        if (effect != nullptr) testhost::dispatch(effect, vst::effClose);
    }
    EXPECT_EQ(orbelune::module.instanceCount, 0);
    EXPECT_EQ(orbelune::module.gdiplusToken, 0u);
    EXPECT_GT(firstStarts, 100);  // GDI+ went down and came up again each time
}

TEST(StressCycles, InstancesProcessingAtOnceMatchEachAlone) {
    constexpr int kInstances = 4;
    constexpr int kBlocks = 60;
    const auto input = noise(kFrames * kBlocks, 99u);

    auto renderAll = [&](vst::AEffect* effect, std::vector<float>& output) {
        for (int block = 0; block < kBlocks; ++block) {
            std::vector<float> left(input.begin() + block * kFrames, input.begin() + (block + 1) * kFrames);
            std::vector<float> right(left.rbegin(), left.rend());
            processOnce(effect, left, right);
            output.insert(output.end(), left.begin(), left.end());
            output.insert(output.end(), right.begin(), right.end());
        }
    };

    std::vector<float> alone;
    {
        testhost::Instance plugin;
        renderAll(plugin.get(), alone);
    }

    std::vector<std::unique_ptr<testhost::Instance>> crowd;
    for (int index = 0; index < kInstances; ++index) crowd.push_back(std::make_unique<testhost::Instance>());
    std::vector<float> outputs[kInstances];
    std::vector<std::thread> threads;
    for (int index = 0; index < kInstances; ++index) {
        threads.emplace_back([&, index] { renderAll(crowd[index]->get(), outputs[index]); });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& output : outputs) EXPECT_EQ(output, alone);
}

}  // namespace
