// Rendering audio files with the command line's settings: one file, or a
// batch of them in parallel, each through a fresh instance of the plug-in.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "plugin_host.h"
#include "progress.h"
#include "render.h"

namespace render {

// The command line's settings against the loaded plug-in: names to indices,
// written values to 0..1 values. Resolved once, before any audio is read or
// written, and then only read, by every render of a batch.
struct ResolvedSettings {
    struct TimedChange {
        double seconds = 0.0;
        ParameterChange change;
    };
    std::vector<ParameterChange> initialValues;
    std::vector<TimedChange> automation;
    std::vector<std::string> summary;  // one line per value: the 0..1 value and what the plug-in shows
};

ResolvedSettings resolveSettings(vst::AEffect* effect, const CommandLine& commandLine);

// The settings for one render, at its sample rate.
RenderSettings renderSettings(const ResolvedSettings& resolved, const CommandLine& commandLine, double sampleRate);
TailRule tailRule(const CommandLine& commandLine, double sampleRate);

// A render with its progress reported to the line as file `slot`, and a
// warning above it when the tail ran into the cap.
RenderResult renderWithProgress(vst::AEffect* effect, const StereoBuffer& input, const std::string& inputName,
                                double sampleRate, RenderSettings settings, const CommandLine& commandLine,
                                ProgressLine& progress, std::size_t slot);

struct FileOutcome {
    std::string inputPath;
    std::string outputPath;
    bool rendered = false;
    std::string failure;  // why not, one line
    double sampleRate = 0.0;
    SignalLevels inputLevels;
    SignalLevels outputLevels;
    double inputSeconds = 0.0;
    double outputSeconds = 0.0;
    TailReport tail;
    double elapsedSeconds = 0.0;
};

// One input into one output through a fresh instance; throws RenderError (or
// UsageError for an output format the renderer cannot write) with nothing
// written. Without `replaceExisting` an output that exists is refused before
// the render starts.
FileOutcome renderFile(const LoadedPlugin& plugin, const std::string& inputPath, const std::string& outputPath,
                       bool replaceExisting, const ResolvedSettings& resolved, const CommandLine& commandLine,
                       ProgressLine& progress, std::size_t slot);

// Where each input of a batch goes: the output directory, under the input's
// file name. Throws UsageError when two inputs would be written to one file.
std::vector<std::string> batchOutputPaths(const std::vector<std::string>& inputs, const std::string& directory);

// Every input into the output directory, `commandLine.jobs` renders at a time
// (the processor count when 0), each on a thread of its own. A failure stays
// with its file; the others still render. Outcomes are in input order.
std::vector<FileOutcome> renderBatch(const LoadedPlugin& plugin, const ResolvedSettings& resolved,
                                     const CommandLine& commandLine);

}  // namespace render
