#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "plugin_host.h"

namespace render {

namespace {

constexpr std::size_t kBlocksPerProgressStep = 64;
constexpr double kSilenceDecibels = -400.0;       // shown for a level of exactly zero

void applyChange(vst::AEffect* effect, const ParameterChange& change) {
    if (effect->setParameter != nullptr) effect->setParameter(effect, change.index, change.value);
}

}  // namespace

std::int64_t frameAt(double seconds, double sampleRate) { return std::llround(seconds * sampleRate); }

BlockRenderer::BlockRenderer(vst::AEffect* effect, double sampleRate, const RenderSettings& settings)
    : effect_(effect), settings_(settings) {
    for (const ParameterChange& change : settings.initialValues) applyChange(effect, change);
    startProcessing(effect, sampleRate, settings.blockSize);
    // A plug-in that answers effSetBypass bypasses itself, as hosts prefer;
    // for one that does not, the host passes the input through on its own.
    hostPassesThrough_ = settings.bypass && dispatch(effect, vst::effSetBypass, 0, 1) == 0;
    // Separate input and output blocks, as most hosts give them, of the size
    // the plug-in was promised.
    inputBlock_.resize(static_cast<std::size_t>(settings.blockSize));
    outputBlock_.resize(static_cast<std::size_t>(settings.blockSize));
}

BlockRenderer::~BlockRenderer() {
    if (settings_.bypass && !hostPassesThrough_) dispatch(effect_, vst::effSetBypass, 0, 0);
    stopProcessing(effect_);
}

void BlockRenderer::render(const StereoBuffer& input, std::size_t frames, StereoBuffer& output) {
    const std::size_t end = position_ + frames;
    if (output.frames() < end) output.resize(end);
    float* inputs[kRequiredChannels] = {inputBlock_.left.data(), inputBlock_.right.data()};
    float* outputs[kRequiredChannels] = {outputBlock_.left.data(), outputBlock_.right.data()};
    const std::vector<AutomationEvent>& automation = settings_.automation;
    while (position_ < end) {
        while (nextEvent_ < automation.size() && automation[nextEvent_].frame <= static_cast<std::int64_t>(position_)) {
            applyChange(effect_, automation[nextEvent_].change);
            ++nextEvent_;
        }
        std::size_t blockFrames = std::min<std::size_t>(static_cast<std::size_t>(settings_.blockSize), end - position_);
        if (nextEvent_ < automation.size()) {
            blockFrames = std::min(blockFrames, static_cast<std::size_t>(automation[nextEvent_].frame) - position_);
        }
        // The input, then silence once it has ended.
        const std::size_t available = position_ < input.frames() ? std::min(blockFrames, input.frames() - position_) : 0;
        std::copy_n(input.left.begin() + static_cast<std::ptrdiff_t>(position_), available, inputBlock_.left.begin());
        std::copy_n(input.right.begin() + static_cast<std::ptrdiff_t>(position_), available, inputBlock_.right.begin());
        std::fill(inputBlock_.left.begin() + static_cast<std::ptrdiff_t>(available), inputBlock_.left.end(), 0.0f);
        std::fill(inputBlock_.right.begin() + static_cast<std::ptrdiff_t>(available), inputBlock_.right.end(), 0.0f);
        if (hostPassesThrough_) {
            outputBlock_ = inputBlock_;
        } else {
            processBlock(effect_, inputs, outputs, static_cast<int>(blockFrames));
        }
        std::copy_n(outputBlock_.left.begin(), blockFrames, output.left.begin() + static_cast<std::ptrdiff_t>(position_));
        std::copy_n(outputBlock_.right.begin(), blockFrames, output.right.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ += blockFrames;
    }
}

namespace {

double amplitudeOf(double decibels) { return std::pow(10.0, decibels / 20.0); }

double loudestSample(const StereoBuffer& audio, std::size_t from, std::size_t to) {
    double peak = 0.0;
    for (std::size_t frame = from; frame < to; ++frame) {
        peak = std::max({peak, std::fabs(static_cast<double>(audio.left[frame])),
                         std::fabs(static_cast<double>(audio.right[frame]))});
    }
    return peak;
}

double tailFloor(double peak) {
    return std::max(peak * amplitudeOf(-kTailFloorBelowPeakDecibels), amplitudeOf(kTailLowestFloorDbfs));
}

// A linear fade to zero over the last frames, so that a tail stopped at the cap
// does not end on a click.
void fadeOut(StereoBuffer& audio, std::size_t fadeFrames) {
    fadeFrames = std::min(fadeFrames, audio.frames());
    const std::size_t first = audio.frames() - fadeFrames;
    for (std::size_t step = 0; step < fadeFrames; ++step) {
        const float gain = static_cast<float>(static_cast<double>(fadeFrames - 1 - step) / static_cast<double>(fadeFrames));
        audio.left[first + step] *= gain;
        audio.right[first + step] *= gain;
    }
}

}  // namespace

RenderResult renderThroughPlugin(vst::AEffect* effect, const StereoBuffer& input, const TailRule& tail,
                                 double sampleRate, const RenderSettings& settings) {
    RenderResult result;
    StereoBuffer& output = result.output;
    const std::size_t inputFrames = input.frames();
    BlockRenderer renderer(effect, sampleRate, settings);
    // Rendered in slices so that progress can be reported.
    const std::size_t sliceFrames = static_cast<std::size_t>(settings.blockSize) * kBlocksPerProgressStep;
    const auto renderUpTo = [&](std::size_t end) {
        while (renderer.position() < end) {
            renderer.render(input, std::min(sliceFrames, end - renderer.position()), output);
            if (settings.progress) settings.progress(renderer.position(), inputFrames);
        }
    };
    if (!tail.untilSilent) {
        output.resize(inputFrames + tail.fixedFrames);
        renderUpTo(inputFrames + tail.fixedFrames);
        result.tail.frames = tail.fixedFrames;
        result.tail.end = TailEnd::fixedLength;
        return result;
    }

    renderUpTo(inputFrames);
    double peak = loudestSample(output, 0, inputFrames);
    // Read now, after processing was switched on, as a plug-in may change its
    // latency then.
    const std::size_t latencyFrames = static_cast<std::size_t>(std::max(effect->initialDelay, 0));
    const std::size_t holdFrames = static_cast<std::size_t>(std::llround(kTailHoldSeconds * sampleRate)) + latencyFrames;
    // 0 means the plug-in does not say, 1 that it has no tail.
    const vst::intptr reportedTail = dispatch(effect, vst::effGetTailSize);
    const std::size_t shortestTail = reportedTail > 1 ? static_cast<std::size_t>(reportedTail) : 0;
    const std::size_t capFrames = static_cast<std::size_t>(std::llround(kTailCapSeconds * sampleRate));
    result.tail.holdFrames = holdFrames;

    std::size_t quietFrames = 0;  // since the input's end, in a row, under the floor
    std::size_t tailFrames = 0;   // judged so far
    bool silent = false;
    while (!silent && tailFrames < capFrames) {
        const std::size_t judged = inputFrames + tailFrames;
        renderUpTo(inputFrames + std::min(capFrames, tailFrames + sliceFrames));
        for (std::size_t frame = judged; frame < renderer.position(); ++frame) {
            const double level = std::max(std::fabs(static_cast<double>(output.left[frame])),
                                          std::fabs(static_cast<double>(output.right[frame])));
            peak = std::max(peak, level);
            // A sample that is not a number is never quiet, so a faulty plug-in
            // runs into the cap instead of ending early.
            quietFrames = level < tailFloor(peak) ? quietFrames + 1 : 0;
            ++tailFrames;
            if (quietFrames >= holdFrames && tailFrames >= shortestTail) {
                silent = true;
                break;
            }
        }
    }
    output.resize(inputFrames + tailFrames);
    result.tail.frames = tailFrames;
    result.tail.floorDbfs = decibels(tailFloor(peak));
    result.tail.end = silent ? TailEnd::silent : TailEnd::cap;
    if (!silent) fadeOut(output, static_cast<std::size_t>(std::llround(kTailCapFadeSeconds * sampleRate)));
    return result;
}

std::string describeTail(const TailReport& tail, double sampleRate) {
    char text[256];
    const double seconds = static_cast<double>(tail.frames) / sampleRate;
    const double holdSeconds = static_cast<double>(tail.holdFrames) / sampleRate;
    const bool lowestFloor = tail.floorDbfs <= kTailLowestFloorDbfs + 1e-9;
    char floor[64];
    if (lowestFloor) {
        std::snprintf(floor, sizeof(floor), "%.1f dBFS (the lowest floor)", tail.floorDbfs);
    } else {
        std::snprintf(floor, sizeof(floor), "%.1f dBFS (%.0f dB under its peak)", tail.floorDbfs,
                      kTailFloorBelowPeakDecibels);
    }
    switch (tail.end) {
        case TailEnd::fixedLength:
            std::snprintf(text, sizeof(text), "%.2f s of silence, as --tail asked", seconds);
            break;
        case TailEnd::silent:
            std::snprintf(text, sizeof(text), "%.2f s: the output stayed below %s for %.2f s", seconds, floor,
                          holdSeconds);
            break;
        case TailEnd::cap:
            std::snprintf(text, sizeof(text),
                          "%.2f s: the output did not stay below %s for %.2f s within the %.0f s cap; "
                          "faded out over its last %.1f s",
                          seconds, floor, holdSeconds, kTailCapSeconds, kTailCapFadeSeconds);
            break;
    }
    return text;
}

SignalLevels measureLevels(const StereoBuffer& audio) {
    SignalLevels levels;
    double energy = 0.0;
    for (const std::vector<float>* channel : {&audio.left, &audio.right}) {
        for (const float sample : *channel) {
            levels.peak = std::max(levels.peak, std::fabs(static_cast<double>(sample)));
            energy += static_cast<double>(sample) * sample;
        }
    }
    const std::size_t samples = audio.left.size() + audio.right.size();
    levels.rms = samples > 0 ? std::sqrt(energy / static_cast<double>(samples)) : 0.0;
    return levels;
}

double decibels(double amplitude) { return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : kSilenceDecibels; }

}  // namespace render
