// Running audio through a loaded plug-in, block by block, as a host plays it.
#pragma once

#include <cstdint>
#include <vector>

#include "audio_file.h"
#include "vst/aeffect.h"

namespace render {

struct ParameterChange {
    int index = 0;
    float value = 0.0f;
};

// A parameter change at a frame of the render. Blocks are split there, so the
// change lands between two blocks exactly at its time.
struct AutomationEvent {
    std::int64_t frame = 0;
    ParameterChange change;
};

struct RenderSettings {
    int blockSize = 512;
    std::vector<ParameterChange> initialValues;   // applied before the first block
    std::vector<AutomationEvent> automation;      // in time order
    bool bypass = false;
    bool showProgress = false;
};

// One pass of a loaded, opened plug-in over a stream: the constructor applies
// the initial values and switches processing on (rate, block size, mains on,
// bypass); the destructor switches it off again. Frames are rendered in calls
// of any length; the stream's position carries on from call to call.
class BlockRenderer {
  public:
    BlockRenderer(vst::AEffect* effect, double sampleRate, const RenderSettings& settings);
    ~BlockRenderer();
    BlockRenderer(const BlockRenderer&) = delete;
    BlockRenderer& operator=(const BlockRenderer&) = delete;

    // Renders the next `frames` frames of the stream into `output` (grown as
    // needed); the input is `input` and silence after its end.
    void render(const StereoBuffer& input, std::size_t frames, StereoBuffer& output);
    std::size_t position() const { return position_; }

  private:
    vst::AEffect* effect_;
    const RenderSettings& settings_;
    bool hostPassesThrough_ = false;
    std::size_t position_ = 0;
    std::size_t nextEvent_ = 0;
    StereoBuffer inputBlock_;
    StereoBuffer outputBlock_;
};

// Feeds the input, followed by `tailFrames` of silence, through the plug-in
// and returns its output, input length plus tail.
StereoBuffer renderThroughPlugin(vst::AEffect* effect, const StereoBuffer& input, std::size_t tailFrames,
                                 double sampleRate, const RenderSettings& settings);

// The frame of a time in seconds, rounded to the nearest frame.
std::int64_t frameAt(double seconds, double sampleRate);

struct SignalLevels {
    double peak = 0.0;  // largest magnitude over both channels
    double rms = 0.0;   // over both channels together
};

SignalLevels measureLevels(const StereoBuffer& audio);
double decibels(double amplitude);

}  // namespace render
