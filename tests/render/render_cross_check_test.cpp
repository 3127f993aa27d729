// The renderer, run as a program on Drevon_Orbelune.so, must give exactly what
// the plug-in's own code gives when a test drives it directly with the same
// calls: the same blocks, parameter values and changes at the same frames.
#include <algorithm>
#include <cstring>

#include "render_test_support.h"
#include "unit/test_host.h"

namespace rendertest {
namespace {

constexpr int kSampleRate = 44100;
constexpr int kBlockSize = 300;         // not a power of two, and not a divisor of the length
constexpr std::size_t kInputFrames = 57000;
constexpr double kTailSeconds = 0.7;
constexpr int kDecayIndex = 0;
constexpr int kSizeIndex = 1;
constexpr int kPreDelayIndex = 4;
constexpr int kMixIndex = 5;

struct Change {
    std::size_t frame;
    int index;
    float value;
};

// Drives the linked plug-in code the way the renderer drives the binary, and
// returns the output interleaved.
std::vector<float> renderDirectly(const Audio& input, const std::vector<Change>& initial, const std::vector<Change>& automation) {
    testhost::Instance instance;
    instance.dispatch(vst::effOpen);
    for (const Change& change : initial) instance->setParameter(instance.get(), change.index, change.value);
    instance.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kSampleRate));
    instance.dispatch(vst::effSetBlockSize, 0, kBlockSize);
    instance.dispatch(vst::effMainsChanged, 0, 1);

    const std::size_t totalFrames = input.frames() + static_cast<std::size_t>(std::llround(kTailSeconds * kSampleRate));
    std::vector<float> left(totalFrames, 0.0f), right(totalFrames, 0.0f);
    for (std::size_t frame = 0; frame < input.frames(); ++frame) {
        left[frame] = input.sample(frame, 0);
        right[frame] = input.sample(frame, input.channels - 1);
    }
    std::vector<float> outLeft(kBlockSize), outRight(kBlockSize), output;
    std::size_t nextChange = 0;
    for (std::size_t position = 0; position < totalFrames;) {
        while (nextChange < automation.size() && automation[nextChange].frame <= position) {
            instance->setParameter(instance.get(), automation[nextChange].index, automation[nextChange].value);
            ++nextChange;
        }
        std::size_t frames = std::min<std::size_t>(kBlockSize, totalFrames - position);
        if (nextChange < automation.size()) frames = std::min(frames, automation[nextChange].frame - position);
        float* inputs[2] = {left.data() + position, right.data() + position};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        instance->processReplacing(instance.get(), inputs, outputs, static_cast<vst::int32>(frames));
        for (std::size_t frame = 0; frame < frames; ++frame) {
            output.push_back(outLeft[frame]);
            output.push_back(outRight[frame]);
        }
        position += frames;
    }
    instance.dispatch(vst::effMainsChanged, 0, 0);
    return output;
}

void expectSameSamples(const std::vector<float>& expected, const Audio& rendered) {
    ASSERT_EQ(rendered.channels, 2);
    ASSERT_EQ(rendered.samples.size(), expected.size());
    std::size_t differing = 0;
    std::size_t first = expected.size();
    for (std::size_t index = 0; index < expected.size(); ++index) {
        if (std::memcmp(&expected[index], &rendered.samples[index], sizeof(float)) != 0) {
            ++differing;
            first = std::min(first, index);
        }
    }
    EXPECT_EQ(differing, 0u) << "first difference at frame " << first / 2 << ", channel " << first % 2;
}

TEST(RendererCrossCheck, OutputThroughTheBinaryEqualsThePluginCodeDrivenDirectly) {
    ScratchDirectory scratch;
    // Settings by name in any case, and changes inside blocks, so the block
    // splitting and the name lookup are covered too.
    const std::vector<Change> initial = {{0, kDecayIndex, 0.8f}, {0, kPreDelayIndex, 0.05f}};
    const std::vector<Change> automation = {{22050, kSizeIndex, 0.3f}, {26460, kMixIndex, 0.9f}};
    const std::vector<std::string> options = {"--plugin", ORBELUNE_PLUGIN_BINARY, "--block", std::to_string(kBlockSize),
                                              "--tail", "0.7", "--set", "decay=0.8", "--set", "PRE-DELAY=0.05",
                                              "--automate", "Size@0.5s=0.3", "--automate", "mix@600ms=0.9", "-q"};
    for (const int channels : {2, 1}) {
        SCOPED_TRACE(channels == 2 ? "stereo input" : "mono input, fed to both inputs");
        const Audio input = testSignal(kInputFrames, channels, kSampleRate);
        writeAudio(scratch / "input.wav", input, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        std::vector<std::string> arguments = options;
        arguments.push_back((scratch / "input.wav").string());
        arguments.push_back((scratch / "output.wav").string());
        const ProgramResult result = runRenderer(arguments, scratch);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const Audio rendered = readAudio(scratch / "output.wav");
        EXPECT_EQ(rendered.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        EXPECT_EQ(rendered.sampleRate, kSampleRate);
        expectSameSamples(renderDirectly(input, initial, automation), rendered);
    }
}

}  // namespace
}  // namespace rendertest
