// orbelune-render: an offline host for VST 2 effects. See helpText() for use.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "audio_file.h"
#include "command_line.h"
#include "decay.h"
#include "demo.h"
#include "errors.h"
#include "file_render.h"
#include "plugin_host.h"
#include "progress.h"
#include "render.h"

namespace render {
namespace {

constexpr double kImpulseChunkSeconds = 1.0;        // the impulse response grows by this much at a time
constexpr double kLongestImpulseResponseSeconds = 120.0;
constexpr double kImpulseResponseRangeDecibels = 100.0;  // rendered until a chunk is this far below the loudest
constexpr int kStatusUsage = 2;                      // exit status for a malformed command line
constexpr int kStatusFailure = 1;

const char* const kCanDoQuestions[] = {"1in2out",        "2in2out",          "1in1out",   "2in1out",
                                       "bypass",         "offline",          "receiveVstEvents",
                                       "receiveVstMidiEvent", "sendVstEvents", "receiveVstTimeInfo",
                                       "hasCockosExtensions"};

std::string fourCharacterCode(vst::int32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char character = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (character >= ' ' && character <= '~') ? character : '.';
    }
    return text;
}

const char* categoryName(vst::intptr category) {
    static const char* const names[] = {"unknown", "effect",     "synth",          "analysis",        "mastering",
                                        "spacializer", "room effect", "surround fx", "restoration", "offline process",
                                        "shell",   "generator"};
    const std::size_t count = sizeof(names) / sizeof(names[0]);
    return category >= 0 && static_cast<std::size_t>(category) < count ? names[category] : "unknown";
}

void printInfo(vst::AEffect* effect, const std::string& path) {
    std::printf("plug-in     %s\n", path.c_str());
    std::printf("effect      %s\n", pluginText(effect, vst::effGetEffectName).c_str());
    std::printf("vendor      %s\n", pluginText(effect, vst::effGetVendorString).c_str());
    std::printf("product     %s\n", pluginText(effect, vst::effGetProductString).c_str());
    std::printf("version     %lld (vendor version), %d (record version)\n",
                static_cast<long long>(dispatch(effect, vst::effGetVendorVersion)), effect->version);
    const vst::intptr category = dispatch(effect, vst::effGetPlugCategory);
    std::printf("category    %lld (%s)\n", static_cast<long long>(category), categoryName(category));
    std::printf("unique id   0x%08X '%s'\n", static_cast<unsigned>(effect->uniqueID),
                fourCharacterCode(effect->uniqueID).c_str());
    std::printf("channels    %d in, %d out; latency %d frames; flags %d\n", effect->numInputs, effect->numOutputs,
                effect->initialDelay, effect->flags);
    std::printf("effCanDo\n");
    for (const char* question : kCanDoQuestions) {
        std::vector<char> text(question, question + std::char_traits<char>::length(question) + 1);
        const vst::intptr answer = dispatch(effect, vst::effCanDo, 0, 0, text.data());
        std::printf("  %-22s %lld\n", question, static_cast<long long>(answer));
    }
    std::printf("parameters (%d)\n  %-5s %-16s %-9s %-16s %s\n", effect->numParams, "index", "name", "value",
                "display", "label");
    for (const ParameterInfo& parameter : parameterTable(effect)) {
        std::printf("  %-5d %-16s %-9.6f %-16s %s\n", parameter.index, parameter.name.c_str(),
                    static_cast<double>(parameter.value), parameter.display.c_str(), parameter.label.c_str());
    }
}

double chunkEnergy(const StereoBuffer& audio, std::size_t start) {
    double energy = 0.0;
    for (std::size_t frame = start; frame < audio.frames(); ++frame) {
        energy += static_cast<double>(audio.left[frame]) * audio.left[frame] +
                  static_cast<double>(audio.right[frame]) * audio.right[frame];
    }
    return energy;
}

// The response to a unit impulse on both inputs, rendered a second at a time
// until the last second lies far below the loudest one (or two minutes pass).
StereoBuffer renderImpulseResponse(vst::AEffect* effect, double sampleRate, const RenderSettings& settings) {
    const StereoBuffer impulse = unitImpulse(1);
    const std::size_t chunkFrames = static_cast<std::size_t>(kImpulseChunkSeconds * sampleRate);
    const std::size_t longestFrames = static_cast<std::size_t>(kLongestImpulseResponseSeconds * sampleRate);
    const double rangeRatio = std::pow(10.0, -kImpulseResponseRangeDecibels / 10.0);
    StereoBuffer response;
    BlockRenderer renderer(effect, sampleRate, settings);
    double loudestEnergy = 0.0;
    while (renderer.position() < longestFrames) {
        const std::size_t start = renderer.position();
        renderer.render(impulse, chunkFrames, response);
        const double energy = chunkEnergy(response, start);
        loudestEnergy = std::max(loudestEnergy, energy);
        if (energy <= loudestEnergy * rangeRatio) break;
    }
    return response;
}

// The display text of the plug-in's "Decay" parameter, if it has one.
std::string decayDisplay(vst::AEffect* effect) {
    for (const ParameterInfo& parameter : parameterTable(effect)) {
        std::string lower = parameter.name;
        for (char& character : lower) character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
        if (lower == "decay") return parameter.display + (parameter.label.empty() ? "" : " " + parameter.label);
    }
    return "";
}

DecayMeasurement measureAndPrintDecay(vst::AEffect* effect, double sampleRate, const RenderSettings& settings,
                                      StereoBuffer& impulseResponse) {
    RenderSettings measuring = settings;
    measuring.automation.clear();
    impulseResponse = renderImpulseResponse(effect, sampleRate, measuring);
    const DecayMeasurement measurement = measureDecay(impulseResponse, sampleRate);
    const std::string display = decayDisplay(effect);
    std::printf("impulse response: %.1f s at %.0f Hz\n", static_cast<double>(impulseResponse.frames()) / sampleRate,
                sampleRate);
    if (!display.empty()) std::printf("\"Decay\" shows %s\n", display.c_str());
    std::printf("%s", describeDecay(measurement).c_str());
    return measurement;
}

void printLevels(const char* what, const std::string& path, const StereoBuffer& audio, double sampleRate) {
    const SignalLevels levels = measureLevels(audio);
    std::printf("%-7s %s: %.2f s, peak %.1f dBFS, RMS %.1f dBFS\n", what, path.c_str(),
                static_cast<double>(audio.frames()) / sampleRate, decibels(levels.peak), decibels(levels.rms));
}

void printSettings(const ResolvedSettings& resolved) {
    for (const std::string& line : resolved.summary) std::printf("%s\n", line.c_str());
}

void runRender(const LoadedPlugin& plugin, const ResolvedSettings& resolved, const CommandLine& commandLine) {
    FileOutcome outcome;
    {
        ProgressLine progress(!commandLine.quiet && standardErrorIsTerminal(), 1);
        outcome = renderFile(plugin, commandLine.inputPath, commandLine.outputPath, true, resolved, commandLine,
                             progress, 0);
    }
    if (commandLine.quiet) return;
    printSettings(resolved);
    std::printf("input   %s: %.2f s, peak %.1f dBFS, RMS %.1f dBFS\n", outcome.inputPath.c_str(), outcome.inputSeconds,
                decibels(outcome.inputLevels.peak), decibels(outcome.inputLevels.rms));
    std::printf("output  %s: %.2f s, peak %.1f dBFS, RMS %.1f dBFS\n", outcome.outputPath.c_str(),
                outcome.outputSeconds, decibels(outcome.outputLevels.peak), decibels(outcome.outputLevels.rms));
    std::printf("tail    %s\n", describeTail(outcome.tail, outcome.sampleRate).c_str());
    if (outcome.elapsedSeconds > 0.0) {
        std::printf("rendered %.2f s of audio in %.3f s: %.1fx real time\n", outcome.outputSeconds,
                    outcome.elapsedSeconds, outcome.outputSeconds / outcome.elapsedSeconds);
    }
}

const char* tailEndName(TailEnd end) {
    switch (end) {
        case TailEnd::fixedLength:
            return "as --tail asked";
        case TailEnd::silent:
            return "fell silent";
        case TailEnd::cap:
            return "stopped at the cap, faded";
    }
    return "";
}

// Exit status 1 when any file failed; the summary names each failure.
int runBatch(const LoadedPlugin& plugin, const ResolvedSettings& resolved, const CommandLine& commandLine) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<FileOutcome> outcomes = renderBatch(plugin, resolved, commandLine);
    const double elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string failed;
    std::size_t rendered = 0;
    double audioSeconds = 0.0;
    for (const FileOutcome& outcome : outcomes) {
        if (outcome.rendered) {
            ++rendered;
            audioSeconds += outcome.outputSeconds;
        } else {
            failed += (failed.empty() ? "" : ", ") + outcome.inputPath;
        }
    }
    if (!commandLine.quiet) {
        printSettings(resolved);
        for (const FileOutcome& outcome : outcomes) {
            if (outcome.rendered) {
                std::printf("ok      %s -> %s: %.2f s, tail %.2f s (%s), peak %.1f dBFS\n", outcome.inputPath.c_str(),
                            outcome.outputPath.c_str(), outcome.outputSeconds,
                            static_cast<double>(outcome.tail.frames) / outcome.sampleRate,
                            tailEndName(outcome.tail.end), decibels(outcome.outputLevels.peak));
            } else {
                std::printf("FAILED  %s: %s\n", outcome.inputPath.c_str(), outcome.failure.c_str());
            }
        }
        std::printf("rendered %zu of %zu files (%.2f s of audio) in %.3f s%s%s\n", rendered, outcomes.size(),
                    audioSeconds, elapsedSeconds, failed.empty() ? "" : "; failed: ", failed.c_str());
    }
    return failed.empty() ? 0 : kStatusFailure;
}

void runDemo(const LoadedPlugin& plugin, const ResolvedSettings& resolved, const CommandLine& commandLine) {
    const std::filesystem::path directory(commandLine.demoDirectory);
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) throw RenderError("cannot create the demo directory '" + commandLine.demoDirectory + "': " + error.message());
    const std::string dryPath = (directory / "demo-dry.wav").string();
    const std::string wetPath = (directory / "demo-orbelune.wav").string();
    const std::string responsePath = (directory / "impulse-response.wav").string();
    const std::string curvesPath = commandLine.decayCurvesPath.empty() ? (directory / "decay-curves.dat").string()
                                                                       : commandLine.decayCurvesPath;

    const StereoBuffer phrase = synthesiseDemoPhrase();
    const RenderSettings settings = renderSettings(resolved, commandLine, kDemoSampleRate);
    RenderResult rendered;
    {
        // Fresh instances for the phrase and for the impulse response, so that
        // the measurement is the same as --measure-decay's and owes nothing to
        // the phrase before it.
        const PluginInstance instance(plugin);
        ProgressLine progress(!commandLine.quiet && standardErrorIsTerminal(), 1);
        rendered = renderWithProgress(instance.effect(), phrase, "the demo", kDemoSampleRate, settings, commandLine,
                                      progress, 0);
    }
    const StereoBuffer& wet = rendered.output;
    // The dry phrase gets the same length, so the two line up in an editor.
    StereoBuffer dry = phrase;
    dry.resize(wet.frames());
    writeAudioFile(dryPath, dry, kDemoSampleRate, commandLine.format);
    writeAudioFile(wetPath, wet, kDemoSampleRate, commandLine.format);

    const PluginInstance measuring(plugin);
    StereoBuffer impulseResponse;
    const DecayMeasurement measurement =
        measureAndPrintDecay(measuring.effect(), kDemoSampleRate, settings, impulseResponse);
    writeAudioFile(responsePath, impulseResponse, kDemoSampleRate, SampleFormat::float32);
    writeDecayCurves(curvesPath, measurement);
    if (commandLine.quiet) return;
    printSettings(resolved);
    printLevels("dry", dryPath, dry, kDemoSampleRate);
    printLevels("wet", wetPath, wet, kDemoSampleRate);
    std::printf("tail    %s\n", describeTail(rendered.tail, kDemoSampleRate).c_str());
    printLevels("impulse", responsePath, impulseResponse, kDemoSampleRate);
    std::printf("curves  %s\n", curvesPath.c_str());
}

int run(const std::vector<std::string>& arguments) {
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.mode == Mode::help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    LoadedPlugin plugin;
    loadPlugin(commandLine.pluginPath.empty() ? defaultPluginPath() : commandLine.pluginPath, plugin);
    const ResolvedSettings resolved = resolveSettings(plugin.effect, commandLine);
    switch (commandLine.mode) {
        case Mode::info:
            for (const ParameterChange& change : resolved.initialValues) {
                plugin.effect->setParameter(plugin.effect, change.index, change.value);
            }
            printInfo(plugin.effect, plugin.path);
            break;
        case Mode::measureDecay: {
            // A fresh instance: finding the values set the first one's
            // parameters to trial values.
            const PluginInstance measuring(plugin);
            StereoBuffer impulseResponse;
            const DecayMeasurement measurement = measureAndPrintDecay(
                measuring.effect(), kDemoSampleRate, renderSettings(resolved, commandLine, kDemoSampleRate),
                impulseResponse);
            if (!commandLine.decayCurvesPath.empty()) writeDecayCurves(commandLine.decayCurvesPath, measurement);
            break;
        }
        case Mode::render:
            runRender(plugin, resolved, commandLine);
            break;
        case Mode::batch:
            return runBatch(plugin, resolved, commandLine);
        case Mode::demo:
            runDemo(plugin, resolved, commandLine);
            break;
        case Mode::help:
            break;
    }
    return 0;
}

}  // namespace
}  // namespace render

int main(int argumentCount, char** argumentValues) {
    const std::vector<std::string> arguments(argumentValues + 1, argumentValues + argumentCount);
    try {
        return render::run(arguments);
    } catch (const render::UsageError& error) {
        std::fprintf(stderr, "orbelune-render: %s\n", error.what());
        return render::kStatusUsage;
    } catch (const render::RenderError& error) {
        std::fprintf(stderr, "orbelune-render: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "orbelune-render: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orbelune-render: %s\n", error.what());
    }
    return render::kStatusFailure;
}
