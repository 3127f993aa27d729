#include "core/parameters.h"
#include "core/presets.h"
#include "command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "errors.h"
#include "parameter_values.h"
#include "render.h"

namespace render {

namespace {

constexpr int kLargestBlockSize = 65536;
constexpr double kLargestTailSeconds = 3600.0;  // an hour of tail is surely a typo
constexpr double kMostJobs = 256;

bool parseNumber(const std::string& text, double& number) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    number = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(number);
}

// Only the form is checked here; the range and the unit are the plug-in's.
std::string checkParameterValue(const std::string& name, const std::string& text) {
    WrittenValue written;
    if (!splitWrittenValue(text, written)) {
        throw UsageError("value \"" + text + "\" for " + name +
                         " must be a number from 0 to 1, or a number with the unit the parameter shows, as in 2.5s");
    }
    return text;
}

// One of our factory presets, as the settings it stands for.
std::vector<NamedValue> presetSettings(const std::string& name) {
    const orbelune::Preset* preset = orbelune::findPreset(name.c_str());
    if (preset == nullptr) {
        std::string names;
        for (const orbelune::Preset& known : orbelune::presetTable) names += std::string(names.empty() ? "" : ", ") + "\"" + known.name + "\"";
        throw UsageError("there is no preset \"" + name + "\"; the presets are " + names);
    }
    std::vector<NamedValue> settings;
    for (int index = 0; index < orbelune::kParamCount; ++index) {
        char value[32];
        std::snprintf(value, sizeof(value), "%.9g", static_cast<double>(preset->values[index]));
        settings.push_back({orbelune::parameterTable[index].name, value});
    }
    return settings;
}

// "NAME=VALUE"
NamedValue parseSetting(const std::string& text) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("--set takes NAME=VALUE, as in --set Decay=0.8; got \"" + text + "\"");
    }
    NamedValue setting;
    setting.name = text.substr(0, equals);
    setting.value = checkParameterValue(setting.name, text.substr(equals + 1));
    return setting;
}

// "NAME@TIME=VALUE", the time in seconds with an optional "s", or in "ms".
TimedValue parseAutomation(const std::string& text) {
    const std::size_t at = text.rfind('@');
    const std::size_t equals = text.rfind('=');
    if (at == std::string::npos || equals == std::string::npos || at == 0 || equals < at) {
        throw UsageError("--automate takes NAME@TIME=VALUE, as in --automate \"Size@2.5s=0.9\"; got \"" + text + "\"");
    }
    TimedValue change;
    change.name = text.substr(0, at);
    std::string time = text.substr(at + 1, equals - at - 1);
    double scale = 1.0;
    if (time.size() > 2 && time.compare(time.size() - 2, 2, "ms") == 0) {
        time.resize(time.size() - 2);
        scale = 0.001;
    } else if (!time.empty() && time.back() == 's') {
        time.pop_back();
    }
    if (!parseNumber(time, change.seconds) || change.seconds < 0.0) {
        throw UsageError("the time in --automate \"" + text + "\" must be a non-negative number of seconds");
    }
    change.seconds *= scale;
    change.value = checkParameterValue(change.name, text.substr(equals + 1));
    return change;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    std::vector<std::string> files;
    bool info = false;
    bool measure = false;
    for (std::size_t position = 0; position < arguments.size(); ++position) {
        const std::string& argument = arguments[position];
        // The value of an option: the next argument, which must be there.
        auto value = [&]() -> const std::string& {
            if (position + 1 >= arguments.size()) throw UsageError(argument + " needs a value; see --help");
            return arguments[++position];
        };
        if (argument == "--help" || argument == "-h") {
            commandLine.mode = Mode::help;
            return commandLine;
        } else if (argument == "--plugin") {
            commandLine.pluginPath = value();
        } else if (argument == "--set") {
            commandLine.settings.push_back(parseSetting(value()));
        } else if (argument == "--preset") {
            // The preset's values come first, so any --set changes them.
            const std::vector<NamedValue> values = presetSettings(value());
            commandLine.settings.insert(commandLine.settings.begin(), values.begin(), values.end());
        } else if (argument == "--automate") {
            commandLine.automation.push_back(parseAutomation(value()));
        } else if (argument == "--block") {
            double blockSize = 0.0;
            const std::string& text = value();
            if (!parseNumber(text, blockSize) || blockSize < 1.0 || blockSize > kLargestBlockSize ||
                blockSize != std::floor(blockSize)) {
                throw UsageError("--block must be a whole number of frames from 1 to 65536; got \"" + text + "\"");
            }
            commandLine.blockSize = static_cast<int>(blockSize);
        } else if (argument == "--tail") {
            const std::string& text = value();
            commandLine.fixedTail = true;
            if (!parseNumber(text, commandLine.tailSeconds) || commandLine.tailSeconds < 0.0 ||
                commandLine.tailSeconds > kLargestTailSeconds) {
                throw UsageError("--tail must be a number of seconds from 0 to 3600; got \"" + text + "\"");
            }
        } else if (argument == "--out-dir") {
            commandLine.outputDirectory = value();
            if (commandLine.outputDirectory.empty()) throw UsageError("--out-dir needs a directory");
        } else if (argument == "--jobs") {
            double jobs = 0.0;
            const std::string& text = value();
            if (!parseNumber(text, jobs) || jobs < 1.0 || jobs > kMostJobs || jobs != std::floor(jobs)) {
                throw UsageError("--jobs must be a whole number from 1 to 256; got \"" + text + "\"");
            }
            commandLine.jobs = static_cast<int>(jobs);
        } else if (argument == "--force") {
            commandLine.force = true;
        } else if (argument == "--bypass") {
            commandLine.bypass = true;
        } else if (argument == "--pcm24") {
            commandLine.format = SampleFormat::pcm24;
        } else if (argument == "--info") {
            info = true;
        } else if (argument == "--measure-decay") {
            measure = true;
        } else if (argument == "--decay-curves") {
            commandLine.decayCurvesPath = value();
        } else if (argument == "--demo-dir") {
            commandLine.demoDirectory = value();
        } else if (argument == "--quiet" || argument == "-q") {
            commandLine.quiet = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option " + argument + "; see --help");
        } else {
            files.push_back(argument);
        }
    }
    if (info && measure) throw UsageError("--info and --measure-decay cannot be combined");
    const bool batch = !commandLine.outputDirectory.empty();
    if ((info || measure) && (!files.empty() || batch)) {
        throw UsageError(std::string(info ? "--info" : "--measure-decay") + " takes no input or output file");
    }
    if (batch) {
        if (files.empty()) throw UsageError("--out-dir needs input files: orbelune-render INPUT... --out-dir DIR");
        commandLine.mode = Mode::batch;
        commandLine.inputPaths = files;
        return commandLine;
    }
    if (files.size() == 1) {
        throw UsageError("an input file needs an output file: orbelune-render INPUT OUTPUT, or INPUT... --out-dir DIR");
    }
    if (files.size() > 2) {
        throw UsageError("too many files: orbelune-render takes one INPUT and one OUTPUT, or INPUT... --out-dir DIR");
    }
    if (info) {
        commandLine.mode = Mode::info;
    } else if (measure) {
        commandLine.mode = Mode::measureDecay;
    } else if (files.size() == 2) {
        commandLine.mode = Mode::render;
        commandLine.inputPath = files[0];
        commandLine.outputPath = files[1];
    }
    return commandLine;
}

std::string helpText() {
    std::string text = R"(Usage: orbelune-render [options] [INPUT OUTPUT]
       orbelune-render [options] INPUT... --out-dir DIR

Runs audio files through a VST 2 effect with two inputs and two outputs
(by default Drevon Orbelune, built beside this program), as a host would.
Without files it renders the built-in demo into out/demo/.

Files:
  INPUT                 WAV, FLAC, AIFF or any format libsndfile reads; mono
                        input is fed to both inputs
  OUTPUT                .wav (default: 32-bit float), .aiff, or .flac (24-bit);
                        replaced if it exists
  --out-dir DIR         render every INPUT into DIR (created if missing),
                        under the input's own file name and format, each
                        through a fresh instance of the plug-in with the same
                        settings (an input whose format the renderer does
                        not write, such as .ogg, fails); one failed file does
                        not stop the others, and the exit status is 1 if any
                        failed
  --jobs N              with --out-dir: render N files at a time, one
                        instance each (default: one per processor)
  --force               with --out-dir: overwrite outputs that exist (without
                        it they are refused, and their inputs not rendered)
  An output is written under a temporary name beside it and renamed when
  complete, so a failed render never leaves a partial file under its name.

Options:
  --plugin PATH         the plug-in binary (.so on Linux, .dll on Windows)
  --preset NAME         start from one of Drevon Orbelune's factory presets:
                        "Small Room", "Drum Room", "Short Plate", "Large Hall",
                        "Wide Pad", "Long Ambient"; --set changes its values
  --set NAME=VALUE      set a parameter, by its name as the plug-in reports it
                        (any letter case), to a bare number from 0 to 1 (the
                        interface's own scale) or to a number in the unit the
                        plug-in shows for it: Decay=2.5s, Pre-Delay=40ms,
                        Mix=35%, "3D Width=120%"; see Values below; repeatable
  --automate NAME@TIME=VALUE
                        change a parameter at a time (seconds, "2.5s", or
                        "250ms") to a value written as for --set; the block is
                        split there so the change lands exactly between two
                        blocks; repeatable
  --block FRAMES        block size handed to the plug-in (default 512)
  --tail SECONDS        exactly this much silence after the input (default:
                        until the output falls silent, see Tail below)
  --bypass              bypass the plug-in, for an A/B reference (give it the
                        wet render's tail with --tail for the same length)
  --pcm24               write 24-bit integer samples instead of 32-bit float
  --info                print the plug-in's names, version, category, effCanDo
                        answers and parameter table, then exit
  --measure-decay       render the impulse response at the given settings and
                        print its reverberation time (RT60, Schroeder
                        integration), broadband and per octave band
  --decay-curves FILE   with --measure-decay or the demo: also write the
                        energy decay curves as text columns for plotting
  --demo-dir DIR        where the demo goes (default out/demo)
  -q, --quiet           no progress bar and no summary (failures and warnings
                        still go to standard error)
  -h, --help            this text

Values:
  A value with a unit is found through the plug-in itself, so it works for
  any plug-in: the renderer sets trial values and reads back the display
  text (effGetParamDisplay; the unit is the label, effGetParamLabel, or the
  text after the number), halving the interval each time, until it has the
  run of values whose display shows the number asked for, and takes the
  middle of that run (at either end of the range, the end itself, so "100%"
  is exactly 1). This needs a display that is a number rising with the
  value; a number finer than the display shows goes to the nearest one it
  can show. The summary prints the 0..1 value found, and giving that number
  renders exactly the same. A value outside the parameter's range, or in a
  unit it does not show, is refused with the range, e.g. "Decay takes 0.30
  to 15.00 s", and nothing is written.

Tail:
  Without --tail the renderer feeds silence after the input until every
  sample of the output has stayed below a floor for %HOLD% s plus the
  plug-in's reported latency. The floor is %BELOW% dB under the output's
  loudest sample, but never lower than %LOWEST% dBFS. The tail is never
  shorter than a tail size the plug-in reports. It is capped at %CAP% s: a
  plug-in that does not fall silent by then is faded out over the last
  %FADE% s of the cap, and a warning says so. The summary says how long the
  tail was and why it ended. An effect that stays silent for longer than the
  hold before its sound comes out (a long delay that does not report it as
  latency) needs --tail.

Examples:
  orbelune-render --info
  orbelune-render vocal.wav hall.wav --set Decay=2.5s --set Pre-Delay=40ms
  orbelune-render vocal.wav vocal-hall.wav --set Decay=0.8 --set "Mix=0.25"
  orbelune-render drums.flac drums-verb.wav --automate "Size@2.5s=90%" --tail 6
  orbelune-render drums.flac drums-dry.wav --bypass
  orbelune-render takes/*.wav --out-dir wet --set Mix=30% --jobs 2
  orbelune-render --measure-decay --set Decay=5s
  orbelune-render --plugin ./OtherEffect.so in.aiff out.wav --pcm24
)";
    const auto fill = [&text](const std::string& marker, const char* format, double number) {
        char printed[32];
        std::snprintf(printed, sizeof(printed), format, number);
        text.replace(text.find(marker), marker.size(), printed);
    };
    fill("%HOLD%", "%.2f", kTailHoldSeconds);
    fill("%BELOW%", "%.0f", kTailFloorBelowPeakDecibels);
    fill("%LOWEST%", "%.0f", kTailLowestFloorDbfs);
    fill("%CAP%", "%.0f", kTailCapSeconds);
    fill("%FADE%", "%.1f", kTailCapFadeSeconds);
    return text;
}

}  // namespace render
