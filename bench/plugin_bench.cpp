// Side-by-side speed of the reverb, measured as a host runs it: plug-ins loaded
// from their shared objects through the exported entry point, 44.1 kHz, stereo
// noise in 512-frame blocks. Machines here drift by a third from run to run, so
// every figure is taken in one run with the cases interleaved round by round and
// reported as the median over rounds.
//
//   plugin_bench OUR_PLUGIN.so [PEER_PLUGIN.so] [--rounds N]
#include <dlfcn.h>
#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/processing.h"
#include "engine/preparation.h"
#include "vst2/aeffect.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 44100.0;
constexpr int kBlockFrames = 512;
constexpr double kSecondsPerRound = 2.0;
constexpr int kDefaultRounds = 15;
constexpr double kNoiseAmplitude = 0.5;
constexpr double kTailNoiseSeconds = 5.0;
constexpr double kTailSilenceSeconds = 60.0;
constexpr int kSizeParameter = 1;
constexpr vst::int32 kHostGetSampleRate = 16;  // audioMasterGetSampleRate
constexpr vst::int32 kHostGetBlockSize = 17;   // audioMasterGetBlockSize

unsigned hostFloatMode = 0;

vst::intptr benchHostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    switch (opcode) {
        case vst::audioMasterVersion: return 2400;
        case kHostGetSampleRate: return static_cast<vst::intptr>(kSampleRate);
        case kHostGetBlockSize: return kBlockFrames;
        default: return 0;
    }
}

struct LoadedPlugin {
    std::string name;
    void* library = nullptr;
    vst::AEffect* effect = nullptr;
};

bool loadPlugin(LoadedPlugin& plugin, const char* path) {
    plugin.library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    // Some libraries change the floating-point mode of the loading thread; the
    // host's mode is restored before every block anyway.
    _mm_setcsr(hostFloatMode);
    if (plugin.library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return false;
    }
    using Entry = vst::AEffect* (*)(vst::audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(plugin.library, "VSTPluginMain"));
    if (entry == nullptr) entry = reinterpret_cast<Entry>(dlsym(plugin.library, "main"));
    if (entry == nullptr) return false;
    plugin.effect = entry(benchHostCallback);
    _mm_setcsr(hostFloatMode);
    if (plugin.effect == nullptr) return false;
    vst::AEffect* effect = plugin.effect;
    effect->dispatcher(effect, vst::effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kSampleRate));
    effect->dispatcher(effect, vst::effSetBlockSize, 0, kBlockFrames, nullptr, 0.0f);
    effect->dispatcher(effect, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    _mm_setcsr(hostFloatMode);
    return true;
}

void closePlugin(LoadedPlugin& plugin) {
    if (plugin.effect != nullptr) {
        plugin.effect->dispatcher(plugin.effect, vst::effMainsChanged, 0, 0, nullptr, 0.0f);
        plugin.effect->dispatcher(plugin.effect, vst::effClose, 0, 0, nullptr, 0.0f);
    }
    // The peer's library is left loaded: some libraries do not survive unloading.
}

struct StereoSignal {
    std::vector<float> left;
    std::vector<float> right;
};

StereoSignal noise(std::size_t frames, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-kNoiseAmplitude, kNoiseAmplitude);
    StereoSignal signal{std::vector<float>(frames), std::vector<float>(frames)};
    for (std::size_t frame = 0; frame < frames; ++frame) {
        signal.left[frame] = distribution(generator);
        signal.right[frame] = distribution(generator);
    }
    return signal;
}

// One block through a processing function, with the host's mode restored first.
using BlockFunction = std::function<void(float** inputs, float** outputs, int frames)>;

// Runs the signal through in blocks and returns the seconds it took.
double timeSignal(const BlockFunction& process, StereoSignal& signal, StereoSignal& output,
                  const std::function<void()>& beforeBlock = nullptr) {
    const std::size_t frames = signal.left.size();
    const auto start = Clock::now();
    for (std::size_t offset = 0; offset + kBlockFrames <= frames; offset += kBlockFrames) {
        if (beforeBlock) beforeBlock();
        float* inputs[2] = {signal.left.data() + offset, signal.right.data() + offset};
        float* outputs[2] = {output.left.data() + offset, output.right.data() + offset};
        _mm_setcsr(hostFloatMode);
        process(inputs, outputs, kBlockFrames);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

BlockFunction pluginBlocks(vst::AEffect* effect) {
    return [effect](float** inputs, float** outputs, int frames) { effect->processReplacing(effect, inputs, outputs, frames); };
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The math-library calls the algorithm needs per frame, alone, on the kinds of
// arguments the reverb gives them: pow(level, 1.5), the oscillator's sine, tanh of
// its magnitude, the sine of the mid angle and the cosine of the width shaping.
struct MathFloorArguments {
    std::vector<double> level, phase, midAngle, widthAngle;
};

MathFloorArguments mathFloorArguments(std::size_t frames) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    MathFloorArguments arguments;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        arguments.level.push_back(0.02 + 0.9 * unit(generator));
        arguments.phase.push_back(6.283185307179586 * unit(generator) + 0.8224670334241132);
        arguments.midAngle.push_back(0.2 * 0.5 * unit(generator) * 3.141592653589793);
        arguments.widthAngle.push_back(5.0832036923152595 * (1.0 + 4.0 * unit(generator)));
    }
    return arguments;
}

double timeMathFloor(const MathFloorArguments& arguments) {
    volatile double sink = 0.0;
    double total = 0.0;
    const auto start = Clock::now();
    for (std::size_t frame = 0; frame < arguments.level.size(); ++frame) {
        const double lfo = std::sin(arguments.phase[frame]);
        total += std::pow(arguments.level[frame], 1.5) + std::tanh(std::fabs(lfo)) +
                 std::sin(arguments.midAngle[frame]) * std::cos(arguments.widthAngle[frame]);
    }
    sink = total;
    (void)sink;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Case {
    std::string name;
    std::function<double()> run;  // seconds for one round
    std::vector<double> seconds;
};

void printThroughput(const Case& measured, std::size_t framesPerRound) {
    const double seconds = median(measured.seconds);
    const double framesPerSecond = static_cast<double>(framesPerRound) / seconds;
    std::printf("%-34s %12.0f frames/s %8.1fx real time %8.1f ns/frame\n", measured.name.c_str(), framesPerSecond,
                framesPerSecond / kSampleRate, 1e9 / framesPerSecond);
}

// A reverb fed a tail that decays into silence (5 s of noise, then 60 s of
// zeros), beside a twin instance fed noise all along.
struct TailPair {
    BlockFunction tail;
    BlockFunction twin;
};

// For each second of silence, the median block time of the tail relative to the
// median block time of its twin in that same second. Every block of the tail is
// followed at once by a block of its twin, so a machine that drifts slows both
// alike and the ratio stays.
std::vector<std::vector<double>> tailProfiles(const std::vector<TailPair>& pairs) {
    const auto noiseFrames = static_cast<std::size_t>(kTailNoiseSeconds * kSampleRate);
    const auto silenceFrames = static_cast<std::size_t>(kTailSilenceSeconds * kSampleRate);
    StereoSignal signal = noise(noiseFrames + silenceFrames, 11);
    std::fill(signal.left.begin() + static_cast<long>(noiseFrames), signal.left.end(), 0.0f);
    std::fill(signal.right.begin() + static_cast<long>(noiseFrames), signal.right.end(), 0.0f);
    StereoSignal twinSignal = noise(noiseFrames + silenceFrames, 13);
    StereoSignal output = signal;

    const auto timeBlock = [](const BlockFunction& process, StereoSignal& input, StereoSignal& into,
                              std::size_t offset) {
        float* inputs[2] = {input.left.data() + offset, input.right.data() + offset};
        float* outputs[2] = {into.left.data() + offset, into.right.data() + offset};
        _mm_setcsr(hostFloatMode);
        const auto start = Clock::now();
        process(inputs, outputs, kBlockFrames);
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    std::vector<std::vector<double>> tailSeconds(pairs.size());
    std::vector<std::vector<double>> twinSeconds(pairs.size());
    for (std::size_t offset = 0; offset + kBlockFrames <= signal.left.size(); offset += kBlockFrames) {
        for (std::size_t index = 0; index < pairs.size(); ++index) {
            tailSeconds[index].push_back(timeBlock(pairs[index].tail, signal, output, offset));
            twinSeconds[index].push_back(timeBlock(pairs[index].twin, twinSignal, output, offset));
        }
    }

    const std::size_t blocksPerSecond = static_cast<std::size_t>(kSampleRate) / kBlockFrames;
    const std::size_t noiseBlocks = noiseFrames / kBlockFrames;
    const auto secondMedian = [blocksPerSecond](const std::vector<double>& seconds, std::size_t first) {
        const auto begin = seconds.begin() + static_cast<long>(first);
        return median(std::vector<double>(begin, begin + static_cast<long>(blocksPerSecond)));
    };
    std::vector<std::vector<double>> profiles;
    for (std::size_t index = 0; index < pairs.size(); ++index) {
        std::vector<double> relative;
        for (std::size_t first = noiseBlocks; first + blocksPerSecond <= tailSeconds[index].size();
             first += blocksPerSecond) {
            relative.push_back(secondMedian(tailSeconds[index], first) / secondMedian(twinSeconds[index], first));
        }
        profiles.push_back(relative);
    }
    return profiles;
}

// The engine driven directly, without the floating-point guard of the host glue:
// the arithmetic as written, subnormals included.
struct BareEngine {
    orbelune::EngineState engine;
    orbelune::ParameterValues params = {0.45f, 0.6f, 0.4f, 0.85f, 0.15f, 0.35f, 0.0f};
    double sampleRate = kSampleRate;
    std::atomic<float> outputMeter{0.0f};
    orbelune::FrameLoop loop;

    explicit BareEngine(orbelune::FrameLoop frameLoop = orbelune::fastestFrameLoop()) : loop(frameLoop) {
        orbelune::prepareEngine(engine, sampleRate, kSampleRate, 0.6f);
    }
    BlockFunction blocks() {
        return [this](float** inputs, float** outputs, int frames) {
            orbelune::processBlock(engine, params, false, sampleRate, outputMeter, inputs, outputs, frames, loop);
        };
    }
};

void printTail(const char* name, const std::vector<double>& relative) {
    std::printf("%s: per second of silence, median block time relative to a twin fed noise\n ", name);
    double worst = 0.0;
    for (std::size_t second = 0; second < relative.size(); ++second) {
        if (second % 5 == 0 || second + 1 == relative.size()) std::printf(" s%zu=%.2f", second + 1, relative[second]);
        worst = std::max(worst, relative[second]);
    }
    std::printf("\n  worst second: %.2fx\n", worst);
}

}  // namespace

int main(int argc, char** argv) {
    hostFloatMode = _mm_getcsr();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUR_PLUGIN.so [PEER_PLUGIN.so] [--rounds N]\n", argv[0]);
        return 2;
    }
    int rounds = kDefaultRounds;
    std::vector<const char*> paths;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--rounds") == 0 && index + 1 < argc) {
            rounds = std::atoi(argv[++index]);
        } else {
            paths.push_back(argv[index]);
        }
    }

    LoadedPlugin ours{"Orbelune", nullptr, nullptr};
    if (!loadPlugin(ours, paths[0])) return 1;
    LoadedPlugin peer{"peer", nullptr, nullptr};
    const bool havePeer = paths.size() > 1 && loadPlugin(peer, paths[1]);
    if (havePeer) peer.name = std::string(paths[1]).substr(std::string(paths[1]).find_last_of('/') + 1);

    const auto framesPerRound = static_cast<std::size_t>(kSecondsPerRound * kSampleRate) / kBlockFrames * kBlockFrames;
    StereoSignal input = noise(framesPerRound, 3);
    StereoSignal output = input;
    const MathFloorArguments floorArguments = mathFloorArguments(framesPerRound);

    bool sizeToggle = false;
    std::vector<Case> cases;
    cases.push_back({"Orbelune, default", [&] { return timeSignal(pluginBlocks(ours.effect), input, output); }, {}});
    cases.push_back({"Orbelune, Size change every block",
                     [&] {
                         return timeSignal(pluginBlocks(ours.effect), input, output, [&] {
                             sizeToggle = !sizeToggle;
                             ours.effect->setParameter(ours.effect, kSizeParameter, sizeToggle ? 0.6f : 0.61f);
                         });
                     },
                     {}});
    if (havePeer) {
        cases.push_back({peer.name + ", default", [&] { return timeSignal(pluginBlocks(peer.effect), input, output); }, {}});
    }
    // The frame loop built for the x86-64 baseline, which processors without AVX
    // run; the plug-in above runs the fastest its processor has.
    BareEngine baseline(orbelune::FrameLoop::baseline);
    cases.push_back({"engine alone, baseline (SSE2) loop", [&] { return timeSignal(baseline.blocks(), input, output); }, {}});
    cases.push_back({"math floor (pow, 2 sin, cos, tanh)", [&] { return timeMathFloor(floorArguments); }, {}});

    for (Case& measured : cases) measured.run();  // warm-up round, not counted
    for (int round = 0; round < rounds; ++round) {
        for (Case& measured : cases) measured.seconds.push_back(measured.run());
    }
    ours.effect->setParameter(ours.effect, kSizeParameter, 0.6f);

    std::printf("44100 Hz, %d-frame blocks, stereo noise; median of %d interleaved rounds of %.0f s of audio\n",
                kBlockFrames, rounds, kSecondsPerRound);
    std::printf("frame loop on this processor: %s\n",
                orbelune::fastestFrameLoop() == orbelune::FrameLoop::avx ? "AVX" : "baseline (SSE2)");
    for (const Case& measured : cases) printThroughput(measured, framesPerRound);
    const double oursSeconds = median(cases[0].seconds);
    const double floorSeconds = median(cases.back().seconds);
    if (havePeer) std::printf("Orbelune speed / peer speed: %.2fx\n", median(cases[2].seconds) / oursSeconds);
    std::printf("Orbelune cost / math floor: %.2fx\n", oursSeconds / floorSeconds);

    BareEngine bare;
    BareEngine bareTwin;
    LoadedPlugin twin{"Orbelune twin", nullptr, nullptr};
    if (!loadPlugin(twin, paths[0])) return 1;
    const auto profiles =
        tailProfiles({{bare.blocks(), bareTwin.blocks()}, {pluginBlocks(ours.effect), pluginBlocks(twin.effect)}});
    printTail("tail without the floating-point guard (engine alone)", profiles[0]);
    printTail("tail through processReplacing (guarded)", profiles[1]);

    closePlugin(ours);
    closePlugin(twin);
    if (havePeer) closePlugin(peer);
    return 0;
}
