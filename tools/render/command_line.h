// The renderer's command line: what the user asked for, before any plug-in is
// loaded. Names of parameters are resolved against the plug-in later.
#pragma once

#include <string>
#include <vector>

#include "audio_file.h"

namespace render {

// The default tail: long enough for the default settings' reverb to fall by
// 60 dB, so that a render without --tail holds the whole tail. Measured with
//   build/linux/tools/orbelune-render --measure-decay
// (impulse response of the default settings at 44100 Hz, Schroeder backward
// integration, T30 fit), which printed a broadband RT60 of 0.86 s and 1.09 s
// for the slowest octave band (125 Hz). The first reflection leaves the
// network 0.05 s after the input (18 ms pre-delay plus the shortest line), so
// the slowest band is 60 dB down after 1.14 s; rounded up to the next half
// second. ("Decay" shows 6.91 s at its default: it names the knob's range,
// not the measured time.)
constexpr double kDefaultTailSeconds = 1.5;

struct NamedValue {
    std::string name;
    float value = 0.0f;
};

struct TimedValue {
    std::string name;
    double seconds = 0.0;
    float value = 0.0f;
};

enum class Mode { render, demo, info, measureDecay, help };

struct CommandLine {
    Mode mode = Mode::demo;
    std::string pluginPath;          // empty: the plug-in built beside the renderer
    std::string inputPath;
    std::string outputPath;
    std::string demoDirectory = "out/demo";
    std::string decayCurvesPath;     // empty: not written
    std::vector<NamedValue> settings;
    std::vector<TimedValue> automation;
    int blockSize = 512;
    double tailSeconds = kDefaultTailSeconds;
    bool bypass = false;
    bool quiet = false;
    SampleFormat format = SampleFormat::float32;
};

// Throws UsageError for anything malformed, with a one-line reason.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string helpText();

}  // namespace render
