#include "file_render.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>
#include <thread>

#include "audio_file.h"
#include "errors.h"
#include "parameter_values.h"
#include "platform.h"

namespace render {

namespace {

namespace fs = std::filesystem;

std::string describeValue(const std::string& written, const ResolvedValue& resolved) {
    char value[32];
    std::snprintf(value, sizeof(value), "%.9g", static_cast<double>(resolved.value));  // enough to give it back exactly
    return written + " is " + value + (resolved.shown.empty() ? "" : ", shown as " + resolved.shown);
}

// Names that one file system would take for the same file: Windows' ignore
// letter case.
std::string fileKey(const std::string& path) {
    std::string key = fs::path(path).lexically_normal().string();
    if (pathSeparator() == '\\') {
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    }
    return key;
}

std::size_t jobCount(const CommandLine& commandLine, std::size_t files) {
    std::size_t jobs = commandLine.jobs > 0 ? static_cast<std::size_t>(commandLine.jobs) : std::thread::hardware_concurrency();
    return std::max<std::size_t>(1, std::min(jobs, files));
}

}  // namespace

ResolvedSettings resolveSettings(vst::AEffect* effect, const CommandLine& commandLine) {
    ResolvedSettings settings;
    for (const NamedValue& setting : commandLine.settings) {
        const int index = findParameter(effect, setting.name);
        const ResolvedValue resolved = resolveParameterValue(effect, index, setting.value);
        settings.initialValues.push_back({index, resolved.value});
        settings.summary.push_back("set     " + describeValue(setting.name + "=" + setting.value, resolved));
    }
    for (const TimedValue& change : commandLine.automation) {
        const int index = findParameter(effect, change.name);
        const ResolvedValue resolved = resolveParameterValue(effect, index, change.value);
        settings.automation.push_back({change.seconds, {index, resolved.value}});
        char time[32];
        std::snprintf(time, sizeof(time), "%.3f s", change.seconds);
        settings.summary.push_back("at " + std::string(time) + " " +
                                   describeValue(change.name + "=" + change.value, resolved));
    }
    return settings;
}

RenderSettings renderSettings(const ResolvedSettings& resolved, const CommandLine& commandLine, double sampleRate) {
    RenderSettings settings;
    settings.blockSize = commandLine.blockSize;
    settings.bypass = commandLine.bypass;
    settings.initialValues = resolved.initialValues;
    for (const ResolvedSettings::TimedChange& change : resolved.automation) {
        settings.automation.push_back({frameAt(change.seconds, sampleRate), change.change});
    }
    std::stable_sort(settings.automation.begin(), settings.automation.end(),
                     [](const AutomationEvent& first, const AutomationEvent& second) { return first.frame < second.frame; });
    return settings;
}

TailRule tailRule(const CommandLine& commandLine, double sampleRate) {
    TailRule rule;
    rule.untilSilent = !commandLine.fixedTail;
    rule.fixedFrames = static_cast<std::size_t>(std::llround(commandLine.tailSeconds * sampleRate));
    return rule;
}

RenderResult renderWithProgress(vst::AEffect* effect, const StereoBuffer& input, const std::string& inputName,
                                double sampleRate, RenderSettings settings, const CommandLine& commandLine,
                                ProgressLine& progress, std::size_t slot) {
    settings.progress = [&progress, slot, sampleRate](std::size_t done, std::size_t inputFrames) {
        const double fraction = done >= inputFrames ? 1.0 : static_cast<double>(done) / static_cast<double>(inputFrames);
        const double tailSeconds = done > inputFrames ? static_cast<double>(done - inputFrames) / sampleRate : 0.0;
        progress.update(slot, fraction, tailSeconds);
    };
    RenderResult result = renderThroughPlugin(effect, input, tailRule(commandLine, sampleRate), sampleRate, settings);
    if (result.tail.end == TailEnd::cap) {
        char warning[256];
        std::snprintf(warning, sizeof(warning),
                      ": the tail did not fall silent within %.0f s; it ends there, faded out over %.1f s "
                      "(--tail sets a length)",
                      kTailCapSeconds, kTailCapFadeSeconds);
        progress.message("orbelune-render: " + inputName + warning);
    }
    return result;
}

FileOutcome renderFile(const LoadedPlugin& plugin, const std::string& inputPath, const std::string& outputPath,
                       bool replaceExisting, const ResolvedSettings& resolved, const CommandLine& commandLine,
                       ProgressLine& progress, std::size_t slot) {
    checkOutputFormat(outputPath);
    std::error_code error;
    if (fs::exists(outputPath, error)) {
        if (fs::equivalent(inputPath, outputPath, error)) {
            throw RenderError("output '" + outputPath + "' is the input itself; the renderer does not write over its input");
        }
        if (!replaceExisting) throw RenderError("output '" + outputPath + "' exists; --force overwrites it");
    }
    const AudioFile input = readAudioFile(inputPath);
    PluginInstance instance(plugin);
    const auto start = std::chrono::steady_clock::now();
    const RenderResult result =
        renderWithProgress(instance.effect(), input.audio, inputPath, input.sampleRate,
                           renderSettings(resolved, commandLine, input.sampleRate), commandLine, progress, slot);
    FileOutcome outcome;
    outcome.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    writeAudioFile(outputPath, result.output, input.sampleRate, commandLine.format, replaceExisting);
    outcome.inputPath = inputPath;
    outcome.outputPath = outputPath;
    outcome.rendered = true;
    outcome.sampleRate = input.sampleRate;
    outcome.inputLevels = measureLevels(input.audio);
    outcome.outputLevels = measureLevels(result.output);
    outcome.inputSeconds = static_cast<double>(input.audio.frames()) / input.sampleRate;
    outcome.outputSeconds = static_cast<double>(result.output.frames()) / input.sampleRate;
    outcome.tail = result.tail;
    return outcome;
}

std::vector<std::string> batchOutputPaths(const std::vector<std::string>& inputs, const std::string& directory) {
    std::vector<std::string> outputs;
    std::map<std::string, std::string> inputOfOutput;
    for (const std::string& input : inputs) {
        const fs::path name = fs::path(input).filename();
        if (name.empty()) throw UsageError("input '" + input + "' names no file");
        const std::string output = (fs::path(directory) / name).string();
        const auto taken = inputOfOutput.emplace(fileKey(output), input);
        if (!taken.second) {
            throw UsageError("inputs '" + taken.first->second + "' and '" + input + "' would both be written to '" +
                             output + "'");
        }
        outputs.push_back(output);
    }
    return outputs;
}

std::vector<FileOutcome> renderBatch(const LoadedPlugin& plugin, const ResolvedSettings& resolved,
                                     const CommandLine& commandLine) {
    const std::vector<std::string>& inputs = commandLine.inputPaths;
    const std::vector<std::string> outputs = batchOutputPaths(inputs, commandLine.outputDirectory);
    std::error_code error;
    fs::create_directories(commandLine.outputDirectory, error);
    if (error || !fs::is_directory(commandLine.outputDirectory, error)) {
        throw RenderError("cannot create the output directory '" + commandLine.outputDirectory + "'" +
                          (error ? ": " + error.message() : ""));
    }

    // Each outcome is written by the one thread that renders its file and read
    // only after every thread has been joined; the settings and the loaded
    // library are only read; the progress line has its own lock.
    std::vector<FileOutcome> outcomes(inputs.size());
    ProgressLine progress(!commandLine.quiet && standardErrorIsTerminal(), inputs.size());
    std::atomic<std::size_t> nextFile{0};
    const auto work = [&]() noexcept {
        for (std::size_t file = nextFile.fetch_add(1); file < inputs.size(); file = nextFile.fetch_add(1)) {
            std::string failure;
            try {
                outcomes[file] = renderFile(plugin, inputs[file], outputs[file], commandLine.force, resolved,
                                            commandLine, progress, file);
            } catch (const std::bad_alloc&) {
                failure = "out of memory";
            } catch (const std::exception& caught) {
                failure = caught.what();
            } catch (...) {
                failure = "an unknown failure";
            }
            try {
                if (!failure.empty()) {
                    outcomes[file].inputPath = inputs[file];
                    outcomes[file].outputPath = outputs[file];
                    outcomes[file].failure = failure;
                    progress.message("orbelune-render: " + inputs[file] + ": " + failure);
                }
                progress.finished(file);
            } catch (...) {
                // Out of memory while reporting: the outcome still says failed.
            }
        }
    };
    // This thread works too; if the system refuses a thread, fewer do.
    std::vector<std::thread> threads;
    const std::size_t jobs = jobCount(commandLine, inputs.size());
    for (std::size_t thread = 1; thread < jobs; ++thread) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& thread : threads) thread.join();
    return outcomes;
}

}  // namespace render
