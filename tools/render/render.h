// Running audio through a loaded plug-in, block by block, as a host plays it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio_file.h"
#include "vst2/aeffect.h"

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

// Told how far a render has come: frames rendered so far, and the input's
// length (frames beyond it are tail).
using ProgressReport = std::function<void(std::size_t framesDone, std::size_t inputFrames)>;

struct RenderSettings {
    int blockSize = 512;
    std::vector<ParameterChange> initialValues;   // applied before the first block
    std::vector<AutomationEvent> automation;      // in time order
    bool bypass = false;
    ProgressReport progress;                      // may be empty
};

// How long the silence after the input lasts. Either a fixed length, or until
// the output falls silent: the render goes on until every sample of both
// channels has stayed below a floor, kTailFloorBelowPeakDecibels under the
// loudest sample of the output so far but never below kTailLowestFloorDbfs,
// for kTailHoldSeconds plus the latency the plug-in reports (initialDelay),
// so that sound still inside the plug-in cannot pass for silence. The hold is
// counted from the input's end only, and the tail is never shorter than a
// tail size the plug-in reports (effGetTailSize). A plug-in that never falls
// silent stops at kTailCapSeconds, faded out over the last kTailCapFadeSeconds
// so the file does not end on a click.
constexpr double kTailFloorBelowPeakDecibels = 90.0;
constexpr double kTailLowestFloorDbfs = -140.0;
constexpr double kTailHoldSeconds = 0.25;
constexpr double kTailCapSeconds = 120.0;
constexpr double kTailCapFadeSeconds = 0.1;

struct TailRule {
    bool untilSilent = true;
    std::size_t fixedFrames = 0;  // the tail's length when not untilSilent
};

enum class TailEnd { fixedLength, silent, cap };

struct TailReport {
    std::size_t frames = 0;
    TailEnd end = TailEnd::fixedLength;
    double floorDbfs = 0.0;        // the floor when the render ended (silent and cap only)
    std::size_t holdFrames = 0;    // how long the output had to stay under it
};

struct RenderResult {
    StereoBuffer output;  // the input's length plus the tail
    TailReport tail;
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

// Feeds the input, followed by silence as long as the tail rule says, through
// the plug-in and returns its output.
RenderResult renderThroughPlugin(vst::AEffect* effect, const StereoBuffer& input, const TailRule& tail,
                                 double sampleRate, const RenderSettings& settings);

// One line on how long the tail was and why it ended, e.g.
// "2.13 s: the output stayed below -96.0 dBFS (90 dB under its peak) for 0.25 s".
std::string describeTail(const TailReport& tail, double sampleRate);

// The frame of a time in seconds, rounded to the nearest frame.
std::int64_t frameAt(double seconds, double sampleRate);

struct SignalLevels {
    double peak = 0.0;  // largest magnitude over both channels
    double rms = 0.0;   // over both channels together
};

SignalLevels measureLevels(const StereoBuffer& audio);
double decibels(double amplitude);

}  // namespace render
