#include "render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "plugin_host.h"

namespace render {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kProgressDelaySeconds = 1.0;     // renders quicker than this show no bar
constexpr double kProgressIntervalSeconds = 0.1;  // redraws at most this often
constexpr int kProgressBarWidth = 40;
constexpr std::size_t kBlocksPerProgressStep = 64;
constexpr double kSilenceDecibels = -400.0;       // shown for a level of exactly zero

// A bar on standard error that appears only once a render has taken about a
// second, and is cleared when it ends.
class ProgressBar {
  public:
    explicit ProgressBar(bool enabled) : enabled_(enabled), start_(Clock::now()), lastDraw_(start_) {}
    ~ProgressBar() {
        if (drawn_) std::fprintf(stderr, "\r%*s\r", kProgressBarWidth + 16, "");
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::size_t done, std::size_t total) {
        if (!enabled_ || total == 0) return;
        const Clock::time_point now = Clock::now();
        if (seconds(now - start_) < kProgressDelaySeconds || seconds(now - lastDraw_) < kProgressIntervalSeconds) return;
        lastDraw_ = now;
        drawn_ = true;
        const double fraction = static_cast<double>(done) / static_cast<double>(total);
        const int filled = static_cast<int>(fraction * kProgressBarWidth);
        std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled, "########################################",
                     kProgressBarWidth - filled, "", static_cast<int>(fraction * 100.0));
        std::fflush(stderr);
    }

  private:
    static double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

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

StereoBuffer renderThroughPlugin(vst::AEffect* effect, const StereoBuffer& input, std::size_t tailFrames,
                                 double sampleRate, const RenderSettings& settings) {
    const std::size_t totalFrames = input.frames() + tailFrames;
    StereoBuffer output;
    output.resize(totalFrames);
    BlockRenderer renderer(effect, sampleRate, settings);
    ProgressBar progress(settings.showProgress);
    // Rendered in slices so that the progress bar can move.
    const std::size_t sliceFrames = static_cast<std::size_t>(settings.blockSize) * kBlocksPerProgressStep;
    while (renderer.position() < totalFrames) {
        renderer.render(input, std::min(sliceFrames, totalFrames - renderer.position()), output);
        progress.update(renderer.position(), totalFrames);
    }
    return output;
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
