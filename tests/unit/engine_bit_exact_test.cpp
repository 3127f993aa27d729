// Every output bit of a few seconds of automated noise, hashed. The hashes were
// taken from the straightforward per-line engine before any speed work; a faster
// engine must reproduce them exactly, since the arithmetic is fixed to the bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/preparation.h"
#include "engine/processing.h"
#include "vst2/instance.h"
#include "unit/test_host.h"

namespace {

using testhost::Instance;

constexpr int kNoiseSeconds = 4;
constexpr int kSilenceSeconds = 3;  // a decay into silence reaches subnormal territory without the guard
// Block lengths cycled through: odd ones cross the oscillator's stretches anywhere.
constexpr int kBlockLengths[] = {512, 37, 64, 1, 200, 129, 63, 1000};

// FNV-1a over the bytes of every value fed in.
class BitHash {
  public:
    template <typename Value>
    void add(Value value) {
        unsigned char bytes[sizeof(Value)];
        std::memcpy(bytes, &value, sizeof(Value));
        for (unsigned char byte : bytes) state_ = (state_ ^ byte) * kPrime;
    }
    std::uint64_t value() const { return state_; }

  private:
    static constexpr std::uint64_t kPrime = 0x100000001b3u;
    std::uint64_t state_ = 0xcbf29ce484222325u;
};

struct Signal {
    std::vector<float> left;
    std::vector<float> right;
};

// Noise whose loudness jumps every quarter second (so the level follower, the
// crest and the transient detector all move), then silence.
Signal automatedNoise(double sampleRate) {
    const auto noiseFrames = static_cast<std::size_t>(kNoiseSeconds * sampleRate);
    const auto totalFrames = static_cast<std::size_t>((kNoiseSeconds + kSilenceSeconds) * sampleRate);
    const auto stretch = static_cast<std::size_t>(sampleRate / 4);
    std::mt19937 generator(20240611);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::uniform_real_distribution<float> loudness(0.0f, 0.9f);
    Signal signal{std::vector<float>(totalFrames, 0.0f), std::vector<float>(totalFrames, 0.0f)};
    float gain = 0.0f;
    for (std::size_t frame = 0; frame < noiseFrames; ++frame) {
        if (frame % stretch == 0) gain = loudness(generator);
        signal.left[frame] = gain * sample(generator);
        signal.right[frame] = gain * sample(generator);
    }
    return signal;
}

// A parameter value per block that sweeps each control back and forth.
float sweep(std::size_t block, std::size_t period, float phase) {
    const auto position = static_cast<float>((block + static_cast<std::size_t>(phase * period)) % period);
    const float half = static_cast<float>(period) / 2.0f;
    return position < half ? position / half : 2.0f - position / half;
}


struct HashedRun {
    std::uint64_t samples;
    std::uint64_t meter;
};

// Runs the signal through block by block with the parameters swept, and hashes
// every output sample and the meter after every block.
template <typename SetParameter, typename Process, typename Meter>
HashedRun hashRun(const Signal& input, SetParameter setParameter, Process process, Meter meter) {
    Signal output{std::vector<float>(input.left.size()), std::vector<float>(input.right.size())};
    BitHash samples;
    BitHash meters;
    std::size_t block = 0;
    for (std::size_t offset = 0; offset < input.left.size(); ++block) {
        const int length = kBlockLengths[block % std::size(kBlockLengths)];
        const auto frames = static_cast<int>(std::min<std::size_t>(length, input.left.size() - offset));
        setParameter(orbelune::kParamDecay, sweep(block, 97, 0.0f));
        setParameter(orbelune::kParamDamping, sweep(block, 61, 0.3f));
        setParameter(orbelune::kParamWidth, sweep(block, 43, 0.5f));
        setParameter(orbelune::kParamPreDelay, sweep(block, 151, 0.2f));
        setParameter(orbelune::kParamMix, sweep(block, 79, 0.7f));
        if (block % 400 == 200) setParameter(orbelune::kParamSize, sweep(block, 1300, 0.1f));
        const float* inputs[2] = {input.left.data() + offset, input.right.data() + offset};
        float* outputs[2] = {output.left.data() + offset, output.right.data() + offset};
        process(inputs, outputs, frames);
        meters.add(meter());
        for (int frame = 0; frame < frames; ++frame) {
            samples.add(outputs[0][frame]);
            samples.add(outputs[1][frame]);
        }
        offset += static_cast<std::size_t>(frames);
    }
    return {samples.value(), meters.value()};
}

HashedRun hashThroughHost(double sampleRate) {
    Instance plugin;
    plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    orbelune::PluginInstance* instance = orbelune::instanceOf(plugin.get());
    return hashRun(
        automatedNoise(sampleRate),
        [&](orbelune::ParamIndex index, float value) { plugin->setParameter(plugin.get(), index, value); },
        [&](const float* const* inputs, float* const* outputs, int frames) {
            plugin->processReplacing(plugin.get(), const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
        },
        [&] { return instance->plugin.outputMeter.load(); });
}

// The engine without the host glue's flush of subnormals: the tail's arithmetic
// on subnormal values must match too, in either build of the frame loop.
HashedRun hashBareEngine(double sampleRate, orbelune::FrameLoop loop) {
    orbelune::EngineState engine;
    orbelune::ParameterValues params = {0.45f, 0.6f, 0.4f, 0.85f, 0.15f, 0.35f, 0.0f};
    double rate = 0.0;
    std::atomic<float> meter{0.0f};
    orbelune::prepareEngine(engine, rate, sampleRate, 0.6f);
    return hashRun(
        automatedNoise(sampleRate),
        [&](orbelune::ParamIndex index, float value) {
            params[index].store(value);
            if (index == orbelune::kParamSize) engine.rebuildRequested.store(1);
        },
        [&](const float* const* inputs, float* const* outputs, int frames) {
            orbelune::processBlock(engine, params, false, rate, meter, inputs, outputs, frames, loop);
        },
        [&] { return meter.load(); });
}

// Reference hashes of the engine as first written: one line at a time, no
// vectors, the oscillator taken frame by frame.
TEST(BitExactness, AutomatedNoiseReproducesEveryOutputBit) {
    const HashedRun host44 = hashThroughHost(44100.0);
    EXPECT_EQ(host44.samples, 0x4065a2694fc6cbfcu);
    EXPECT_EQ(host44.meter, 0x629ecc53bea275adu);
    const HashedRun host96 = hashThroughHost(96000.0);
    EXPECT_EQ(host96.samples, 0xa4fd01fe35418e4fu);
    EXPECT_EQ(host96.meter, 0x1a8ed27bb90ff8ffu);
    for (const orbelune::FrameLoop loop : {orbelune::FrameLoop::baseline, orbelune::fastestFrameLoop()}) {
        const HashedRun bare = hashBareEngine(44100.0, loop);
        EXPECT_EQ(bare.samples, 0x188bccb7fc2fd4fcu) << "frame loop " << static_cast<int>(loop);
        EXPECT_EQ(bare.meter, 0x629ecc53bea275adu) << "frame loop " << static_cast<int>(loop);
    }
}

}  // namespace
