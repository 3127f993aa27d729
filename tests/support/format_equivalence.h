// The one check that a format sounds like the VST 2 build: the same input and
// the same 0..1 values at the same frames through the format under test and
// through a VST 2 instance, compared bit for bit. The VST 2 side applies a
// change at frame t by splitting its block there, as a host that splits
// blocks at automation points does. Plain C++, so the native tests and the
// Windows programs under Wine share it.
#pragma once

#include <cstring>
#include <vector>

#include "support/stub_host.h"
#include "vst2/aeffect.h"

namespace equivalence {

// A 0..1 value for a parameter from a frame of its block on.
struct Change {
    int frame;
    int index;
    float value;
};

struct Block {
    int frames;
    bool input;  // noise in, or silence
    std::vector<Change> changes;
};

using Scenario = std::vector<Block>;

// Blocks of `frames`: noise for a while, then the tail, with changes at block
// starts of "Decay", "Size" (the lines are rebuilt), "Mix" and "Bypass" (a
// bypassed stretch), and a block of no frames.
inline Scenario automationScenario(int frames) {
    Scenario scenario;
    for (int block = 0; block < 40; ++block) scenario.push_back({frames, block < 10, {}});
    scenario[5].changes = {{0, 0, 0.8f}};
    scenario[12].changes = {{0, 1, 0.25f}};
    scenario[20].changes = {{0, 5, 1.0f}};
    scenario[26].changes = {{0, 6, 1.0f}};
    scenario[30].changes = {{0, 6, 0.0f}};
    scenario[33].frames = 0;
    return scenario;
}

// The same, with every change inside its block, the first ones at frame 1
// and the last frame, and two changes of one parameter in one block.
inline Scenario inBlockScenario(int frames) {
    Scenario scenario = automationScenario(frames);
    scenario[5].changes = {{1, 0, 0.8f}};
    scenario[8].changes = {{frames / 3, 2, 0.9f}, {frames / 3, 4, 0.5f}, {frames - 1, 2, 0.1f}};
    scenario[12].changes = {{frames / 2, 1, 0.25f}};
    scenario[20].changes = {{frames / 4, 5, 1.0f}, {frames / 2, 5, 0.6f}};
    scenario[26].changes = {{frames - 1, 6, 1.0f}};
    scenario[30].changes = {{7, 6, 0.0f}};
    return scenario;
}

// Runs one block through the VST 2 instance, in place, split at its changes.
inline void processVst2(vst::AEffect* effect, float* left, float* right, const Block& block) {
    int done = 0;
    auto runTo = [&](int frame) {
        if (frame <= done) return;
        float* channels[2] = {left + done, right + done};
        effect->processReplacing(effect, channels, channels, frame - done);
        done = frame;
    };
    for (const Change& change : block.changes) {
        runTo(change.frame);
        effect->setParameter(effect, change.index, change.value);
    }
    runTo(block.frames);
    if (block.frames == 0) {
        float* channels[2] = {left, right};
        effect->processReplacing(effect, channels, channels, 0);
    }
}

// The first block in which the format's output differs from the VST 2
// instance's, or -1 when none does. `format(left, right, block)` processes
// one block in place, applying the block's changes at their frames in its
// own terms. The VST 2 instance must be fresh and at the format's rate.
template <typename Format>
int firstDifferentBlock(vst::AEffect* reference, const Scenario& scenario, Format&& format, unsigned seed = 7) {
    for (std::size_t index = 0; index < scenario.size(); ++index) {
        const Block& block = scenario[index];
        std::vector<float> left(static_cast<std::size_t>(block.frames) + 1), right(left.size());
        for (int frame = 0; frame < block.frames; ++frame) {
            left[frame] = block.input ? stubhost::noise(seed) : 0.0f;
            right[frame] = block.input ? stubhost::noise(seed) : 0.0f;
        }
        std::vector<float> referenceLeft = left, referenceRight = right;
        processVst2(reference, referenceLeft.data(), referenceRight.data(), block);
        format(left.data(), right.data(), block);
        const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(block.frames);
        if (std::memcmp(left.data(), referenceLeft.data(), bytes) != 0 ||
            std::memcmp(right.data(), referenceRight.data(), bytes) != 0)
            return static_cast<int>(index);
    }
    return -1;
}

}  // namespace equivalence
