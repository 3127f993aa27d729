// The reverb engine's state: the part of an instance that only the engine reads
// and writes, in the order the instance record keeps it. Everything here is plain
// data; preparation sizes it, block processing runs it.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace orbelune {

constexpr int kLineCount = 8;
constexpr int kLineGuardSamples = 128;  // allocated and cleared behind every line, never read

// Parameter indices, shared by the engine, the host glue and the editor.
enum ParamIndex : int {
    kParamDecay = 0,
    kParamSize = 1,
    kParamDamping = 2,
    kParamWidth = 3,
    kParamPreDelay = 4,
    kParamMix = 5,
    kParamBypass = 6,
    kParamCount = 7,
};

// Parameter values are written by the host's threads and the editor and read by
// the audio thread once per block; relaxed atomics make that race-free without
// changing the plain 32-bit loads and stores it compiles to.
using ParameterValues = std::atomic<float>[kParamCount];
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(sizeof(std::atomic<float>) == sizeof(float));

// Second-order filter, transposed direct form II, coefficients divided by a0.
struct Biquad {
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    double z1 = 0.0;
    double z2 = 0.0;
};

struct EngineState {
    // Pre-delay rings, one per input channel, sharing one write position.
    std::vector<double> preDelayLeft;
    std::vector<double> preDelayRight;
    std::int32_t preDelayWritePos = 0;

    // The eight recirculating lines of the network.
    std::vector<double> lines[kLineCount];
    std::int32_t linePos[kLineCount] = {};
    std::int32_t lineLength[kLineCount] = {};
    double lineDamp[kLineCount] = {};
    double injectLow[2] = {};

    // Output stage filters on the side signal.
    Biquad sideHighPass;
    Biquad sideTone;

    // Side-chain analysis state.
    double level = 0.0;
    double levelCubed = 0.0;
    double levelSquared = 0.0;
    double levelPow = 0.0;
    double transientSmoothed = 0.0;
    double crest = 0.0;
    double crestNorm = 0.0;
    double crestDamp = 1.0;
    double lfo = 0.0;
    double lfoScaled = 0.0;
    double peakEnvelope = 0.001;
    double levelAverage = 0.0;
    double levelFast = 0.0;
    double transientPeak = 0.02;
    double transient = 0.0;
    double lfoPhase = 0.0;
    double levelHistory[5] = {};

    // Rate-derived coefficients (placeholders until the first preparation).
    double coefPeakDecay = 0.99999;
    double coefAttack = 0.98;
    double coefRelease = 0.9996;
    double coefAverage = 0.0003;
    double coefFast = 0.004;
    double coefTransientDecay = 0.99997;
    double coefTransientSmooth = 0.005;
    double lfoIncrement = 0.0008;
    std::int32_t decimation = 88;
    std::int32_t decimationCounter = 0;

    // Raised by a change of "Size" on any thread, consumed by the audio thread at
    // the start of its next processed block.
    std::atomic<std::uint8_t> rebuildRequested{0};
};

}  // namespace orbelune
