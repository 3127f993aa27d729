// The renderer's command line: what the user asked for, before any plug-in is
// loaded. Names of parameters are resolved against the plug-in later.
#pragma once

#include <string>
#include <vector>

#include "audio_file.h"

namespace render {

// Values as written: a bare number from 0 to 1, or a number with the unit the
// plug-in shows; they are turned into 0..1 values once the plug-in is loaded.
struct NamedValue {
    std::string name;
    std::string value;
};

struct TimedValue {
    std::string name;
    double seconds = 0.0;
    std::string value;
};

enum class Mode { render, batch, demo, info, measureDecay, help };

struct CommandLine {
    Mode mode = Mode::demo;
    std::string pluginPath;          // empty: the plug-in built beside the renderer
    std::string inputPath;           // render: the one input and its output
    std::string outputPath;
    std::vector<std::string> inputPaths;  // batch: every input, each written into the output directory
    std::string outputDirectory;
    int jobs = 0;                    // renders at a time in a batch; 0: one per processor
    bool force = false;              // a batch may overwrite outputs that exist
    std::string demoDirectory = "out/demo";
    std::string decayCurvesPath;     // empty: not written
    std::vector<NamedValue> settings;
    std::vector<TimedValue> automation;
    int blockSize = 512;
    bool fixedTail = false;          // --tail given; otherwise the tail lasts until the output falls silent
    double tailSeconds = 0.0;
    bool bypass = false;
    bool quiet = false;
    SampleFormat format = SampleFormat::float32;
};

// Throws UsageError for anything malformed, with a one-line reason.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string helpText();

}  // namespace render
