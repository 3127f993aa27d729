// The renderer as a user meets it: files in and out, options, any stereo
// plug-in, and every way a render can fail.
#include <algorithm>

#include "render_test_support.h"

namespace rendertest {
namespace {

const std::string kPlugin = ORBELUNE_PLUGIN_BINARY;
const std::string kFixtures = ORBELUNE_FIXTURE_DIRECTORY;

std::string fixture(const std::string& name) { return kFixtures + "/render_fixture_" + name + ".so"; }

// Writes a short stereo input and returns its path.
std::string writeInput(const ScratchDirectory& scratch, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                       const std::string& name = "input.wav", int channels = 2) {
    writeAudio(scratch / name, testSignal(4410, channels), format);
    return (scratch / name).string();
}

TEST(RendererFormats, ReadsWavFlacAndAiffAndWritesFloatOr24BitPcm) {
    ScratchDirectory scratch;
    struct Case {
        std::string input;
        int inputFormat;
        std::string output;
        std::vector<std::string> options;
        int expectedFormat;
    };
    const std::vector<Case> cases = {
        {"in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "out.wav", {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "out.wav", {"--pcm24"}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "out.aiff", {}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "out.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.input + " -> " + test.output);
        const std::string input = writeInput(scratch, test.inputFormat, test.input);
        std::vector<std::string> arguments = {"--plugin", kPlugin, "--tail", "0.25", input, (scratch / test.output).string()};
        arguments.insert(arguments.end(), test.options.begin(), test.options.end());
        const ProgramResult result = runRenderer(arguments, scratch);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const Audio output = readAudio(scratch / test.output);
        EXPECT_EQ(output.format, test.expectedFormat);
        EXPECT_EQ(output.channels, 2);
        EXPECT_EQ(output.frames(), 4410u + 11025u);
        // The summary names peak, RMS and speed.
        EXPECT_NE(result.output.find("peak"), std::string::npos);
        EXPECT_NE(result.output.find("real time"), std::string::npos);
    }
}

TEST(RendererBypass, GivesTheInputBackBitForBitWithTheTailAsSilence) {
    ScratchDirectory scratch;
    const std::string input = writeInput(scratch);
    const std::string output = (scratch / "dry.wav").string();
    // Through the plug-in's own bypass, and through the host's for a plug-in
    // that has none (the gain fixture at 0.5 would otherwise halve the signal).
    for (const std::vector<std::string>& plugin :
         {std::vector<std::string>{"--plugin", kPlugin}, {"--plugin", fixture("legacy_gain"), "--set", "gain=0.5"}}) {
        std::vector<std::string> arguments = plugin;
        arguments.insert(arguments.end(), {"--bypass", "--tail", "0.1", input, output});
        ASSERT_EQ(runRenderer(arguments, scratch).exitStatus, 0);
        const Audio original = readAudio(input);
        const Audio bypassed = readAudio(output);
        ASSERT_EQ(bypassed.frames(), original.frames() + 4410u);
        EXPECT_TRUE(std::equal(original.samples.begin(), original.samples.end(), bypassed.samples.begin()));
        EXPECT_TRUE(std::all_of(bypassed.samples.begin() + static_cast<std::ptrdiff_t>(original.samples.size()),
                                bypassed.samples.end(), [](float sample) { return sample == 0.0f; }));
    }
}

// A plug-in that is not ours: exported only as "main", no replacing process.
// Its gain parameter shows when settings and automation land.
TEST(RendererForeignPlugin, DrivesAnyStereoEffectAndAppliesAutomationAtItsFrame) {
    ScratchDirectory scratch;
    const std::string input = writeInput(scratch);
    const std::string output = (scratch / "out.wav").string();
    const ProgramResult result = runRenderer({"--plugin", fixture("legacy_gain"), "--set", "GAIN=0.5", "--automate",
                                              "Gain@0.01s=0.25", "--tail", "0", input, output},
                                             scratch);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    const Audio original = readAudio(input);
    const Audio rendered = readAudio(output);
    ASSERT_EQ(rendered.frames(), original.frames());
    constexpr std::size_t kChangeFrame = 441;  // 0.01 s at 44100 Hz, inside the first 512-frame block
    for (std::size_t frame = 0; frame < original.frames(); ++frame) {
        const float gain = frame < kChangeFrame ? 0.5f : 0.25f;
        for (int channel = 0; channel < 2; ++channel) {
            ASSERT_EQ(rendered.sample(frame, channel), original.sample(frame, channel) * gain)
                << "frame " << frame << " channel " << channel;
        }
    }
}

// Values in the units the plug-in shows are found through its display: each
// lands on the display asked for, and rendering with the 0..1 value the
// summary prints gives the same file, so the value set is the one found.
TEST(RendererUnits, LandOnTheDisplayedValueAndRenderAsTheNumberTheyResolveTo) {
    ScratchDirectory scratch;
    const std::string input = writeInput(scratch);
    const std::vector<std::pair<std::string, std::string>> settings = {
        {"Decay=2.5s", "2.50 s"}, {"Pre-Delay=40ms", "40 ms"}, {"Mix=35%", "35 %"}, {"3D Width=120%", "120 %"},
        {"Size=100%", "100 %"}};
    std::vector<std::string> byUnit = {"--plugin", kPlugin, "--tail", "0.3"};
    for (const auto& setting : settings) byUnit.insert(byUnit.end(), {"--set", setting.first});
    byUnit.insert(byUnit.end(), {"--automate", "Mix@0.05s=80 %", input, (scratch / "units.wav").string()});
    const ProgramResult result = runRenderer(byUnit, scratch);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;

    // "set     Decay=2.5s is 0.149659872, shown as 2.50 s"
    const auto resolved = [&result](const std::string& written, const std::string& shown) {
        const std::string prefix = written + " is ";
        const std::size_t start = result.output.find(prefix);
        EXPECT_NE(start, std::string::npos) << result.output;
        if (start == std::string::npos) return std::string("-1");
        const std::size_t comma = result.output.find(',', start);
        EXPECT_EQ(result.output.compare(comma, shown.size() + 11, ", shown as " + shown), 0) << result.output;
        return result.output.substr(start + prefix.size(), comma - start - prefix.size());
    };
    std::vector<std::string> byNumber = {"--plugin", kPlugin, "--tail", "0.3"};
    for (const auto& setting : settings) {
        const std::string name = setting.first.substr(0, setting.first.find('='));
        byNumber.insert(byNumber.end(), {"--set", name + "=" + resolved(setting.first, setting.second)});
    }
    byNumber.insert(byNumber.end(),
                    {"--automate", "Mix@0.05s=" + resolved("Mix=80 %", "80 %"), input, (scratch / "numbers.wav").string()});
    // Within half a display step of the exact value, and the top of the range exactly.
    EXPECT_NEAR(std::stod(resolved("Decay=2.5s", "2.50 s")), (2.5 - 0.3) / 14.7, 0.005 / 14.7);
    EXPECT_EQ(resolved("Size=100%", "100 %"), "1");
    ASSERT_EQ(runRenderer(byNumber, scratch).exitStatus, 0);
    EXPECT_TRUE(readAudio(scratch / "units.wav").samples == readAudio(scratch / "numbers.wav").samples);
}

// A batch renders every input on its own instance, in parallel, each exactly
// as a render of that file alone would; a bad input fails alone and is named;
// outputs that exist are kept unless --force is given.
TEST(RendererBatch, RendersEachInputAsAloneAndReportsTheOneThatFails) {
    ScratchDirectory scratch;
    const std::string first = writeInput(scratch, SF_FORMAT_WAV | SF_FORMAT_FLOAT, "first.wav");
    const std::string second = writeInput(scratch, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "second.flac", 1);
    const std::string bad = (scratch / "bad.wav").string();
    std::ofstream(bad) << "this is not a sound file\n";
    const std::string directory = (scratch / "wet").string();
    const std::vector<std::string> settings = {"--plugin", kPlugin, "--set", "Decay=3s", "--set", "Mix=60%", "--tail", "0.3"};
    const auto batch = [&](const std::vector<std::string>& inputs, const std::vector<std::string>& options) {
        std::vector<std::string> arguments = settings;
        arguments.insert(arguments.end(), inputs.begin(), inputs.end());
        arguments.insert(arguments.end(), {"--out-dir", directory});
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runRenderer(arguments, scratch);
    };

    ProgramResult result = batch({first, bad, second}, {"--jobs", "3"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(lineCount(result.errors), 1) << result.errors;
    EXPECT_NE(result.errors.find("bad.wav: cannot read input"), std::string::npos) << result.errors;
    EXPECT_NE(result.output.find("FAILED  " + bad), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("rendered 2 of 3 files"), std::string::npos) << result.output;
    const std::vector<std::string> written = {"first.wav", "second.flac"};
    ASSERT_EQ(ScratchDirectory::namesIn(directory), written);
    for (const std::string& input : {first, second}) {
        SCOPED_TRACE(input);
        const std::string alone = (scratch / ("alone" + fs::path(input).extension().string())).string();
        std::vector<std::string> arguments = settings;
        arguments.insert(arguments.end(), {input, alone});
        ASSERT_EQ(runRenderer(arguments, scratch).exitStatus, 0);
        EXPECT_TRUE(readAudio(alone).samples ==
                    readAudio(fs::path(directory) / fs::path(input).filename()).samples);
    }

    // Outputs that exist: refused file by file, untouched, until --force.
    std::ofstream(fs::path(directory) / "first.wav") << "precious";
    result = batch({first, second}, {});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.errors.find("exists; --force overwrites it"), std::string::npos) << result.errors;
    EXPECT_EQ(fileText(fs::path(directory) / "first.wav"), "precious");
    EXPECT_EQ(batch({first, second}, {"--force", "-q"}).exitStatus, 0);
    EXPECT_EQ(readAudio(fs::path(directory) / "first.wav").frames(), 4410u + 13230u);

    // Two inputs of one name would share an output: refused before anything is written.
    fs::create_directories(scratch / "again");
    fs::copy_file(first, scratch / "again/first.wav");
    fs::remove_all(directory);
    result = batch({first, (scratch / "again/first.wav").string()}, {});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.errors.find("would both be written to"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(directory));
}

TEST(RendererInfo, PrintsIdentityCanDoAnswersAndParameterTable) {
    ScratchDirectory scratch;
    const ProgramResult result = runRenderer({"--plugin", kPlugin, "--info", "--set", "decay=1"}, scratch);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    for (const char* expected : {"Drevon Orbelune", "Drevon Audio Technologies", "Drevon Orbelune 3D Reverb", "1000",
                                 "effect", "2in2out", "Pre-Delay", "3D Width", "15.00", "ms"}) {
        EXPECT_NE(result.output.find(expected), std::string::npos) << expected;
    }
}

TEST(RendererDemo, WritesDryWetImpulseResponseAndCurvesWithoutInput) {
    ScratchDirectory scratch;
    const std::string directory = (scratch / "demo").string();
    const ProgramResult result = runRenderer({"--plugin", kPlugin, "--demo-dir", directory, "--tail", "1"}, scratch);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_NE(result.output.find("RT60"), std::string::npos);
    EXPECT_NE(result.output.find("\"Decay\" shows 6.91 s"), std::string::npos);
    const Audio dry = readAudio(scratch / "demo/demo-dry.wav");
    const Audio wet = readAudio(scratch / "demo/demo-orbelune.wav");
    EXPECT_EQ(dry.frames(), wet.frames());
    EXPECT_GT(dry.frames(), 4u * 44100u);
    float peak = 0.0f;
    for (const float sample : dry.samples) peak = std::max(peak, std::fabs(sample));
    EXPECT_FLOAT_EQ(peak, 0.5f);  // -6 dBFS
    EXPECT_GT(readAudio(scratch / "demo/impulse-response.wav").frames(), 0u);
    EXPECT_NE(fileText(scratch / "demo/decay-curves.dat").find("broadband"), std::string::npos);
}

// Every failure: a non-zero status, one line on standard error that says what
// went wrong, and no output file (not even a partial one) left behind; an
// output that existed before keeps its content.
TEST(RendererErrors, FailCleanlyWithOneLineAndNoOutputFile) {
    ScratchDirectory scratch;
    const std::string input = writeInput(scratch);
    writeInput(scratch, SF_FORMAT_WAV | SF_FORMAT_FLOAT, "three.wav", 3);
    std::ofstream(scratch / "notaudio.wav") << "this is not a sound file\n";
    std::ofstream(scratch / "notaplugin.so") << "this is not a library\n";
    const std::string output = (scratch / "out.wav").string();
    const std::string existing = (scratch / "existing.wav").string();
    std::ofstream(existing) << "precious";

    struct Case {
        std::string what;
        std::vector<std::string> arguments;
        int status;
        std::string message;  // a part of the error line
    };
    const std::vector<Case> cases = {
        {"missing input", {"--plugin", kPlugin, (scratch / "missing.wav").string(), output}, 1, "missing.wav"},
        {"unsupported input format", {"--plugin", kPlugin, (scratch / "notaudio.wav").string(), output}, 1, "notaudio.wav"},
        {"input that is a directory", {"--plugin", kPlugin, scratch.path().string(), output}, 1, "is a directory"},
        {"three-channel input", {"--plugin", kPlugin, (scratch / "three.wav").string(), output}, 1, "3 channels"},
        {"plug-in that does not exist", {"--plugin", (scratch / "nothing.so").string(), input, output}, 1, "does not exist"},
        {"plug-in that is not a library", {"--plugin", (scratch / "notaplugin.so").string(), input, output}, 1, "cannot load"},
        {"library without an entry point", {"--plugin", fixture("no_entry"), input, output}, 1, "neither VSTPluginMain nor main"},
        {"entry point returning null", {"--plugin", fixture("null_entry"), input, output}, 1, "returned null"},
        {"mono plug-in", {"--plugin", fixture("mono_effect"), input, output}, 1, "1 inputs and 1 outputs"},
        {"output directory that does not exist", {"--plugin", kPlugin, input, (scratch / "no/such/dir/out.wav").string()}, 1, "cannot write output"},
        {"output that is the input", {"--plugin", kPlugin, input, input}, 1, "is the input itself"},
        {"output format unknown", {"--plugin", kPlugin, input, (scratch / "out.mp9").string()}, 2, ".wav, .flac or .aiff"},
        {"unknown parameter", {"--plugin", kPlugin, "--set", "Wetness=0.5", input, existing}, 2,
         "valid names: \"Decay\", \"Size\", \"Damping\", \"3D Width\", \"Pre-Delay\", \"Mix\", \"Bypass\""},
        {"unknown automated parameter", {"--plugin", kPlugin, "--automate", "Room@1s=0.5", input, existing}, 2, "valid names"},
        {"value above 1", {"--plugin", kPlugin, "--set", "Decay=1.5", input, existing}, 2, "from 0 to 1"},
        {"value below 0", {"--plugin", kPlugin, "--automate", "Mix@1=-0.1", input, existing}, 2, "from 0 to 1"},
        {"value not a number", {"--plugin", kPlugin, "--set", "Decay=loud", input, existing}, 2, "from 0 to 1"},
        {"value beyond the parameter's range", {"--plugin", kPlugin, "--set", "Decay=20s", input, existing}, 2,
         "Decay takes 0.30 to 15.00 s"},
        {"unit the parameter does not show", {"--plugin", kPlugin, "--set", "Decay=40ms", input, existing}, 2,
         "Decay takes 0.30 to 15.00 s"},
        {"automated value beyond the range", {"--plugin", kPlugin, "--automate", "pre-delay@1s=150ms", input, existing},
         2, "Pre-Delay takes 0 to 120 ms"},
        {"unit on a parameter without one", {"--plugin", kPlugin, "--set", "Bypass=50%", input, existing}, 2,
         "Bypass shows no unit"},
        {"unit on a foreign parameter without a numeric display",
         {"--plugin", fixture("legacy_gain"), "--set", "Gain=50%", input, existing}, 2, "Gain does not show"},
        {"malformed automation", {"--plugin", kPlugin, "--automate", "Mix=0.5", input, existing}, 2, "NAME@TIME=VALUE"},
        {"bad block size", {"--plugin", kPlugin, "--block", "0", input, existing}, 2, "--block"},
        {"negative tail", {"--plugin", kPlugin, "--tail", "-1", input, existing}, 2, "--tail"},
        {"unknown option", {"--plugin", kPlugin, "--loud", input, existing}, 2, "--loud"},
        {"input without output", {"--plugin", kPlugin, input}, 2, "OUTPUT"},
    };
    const std::vector<std::string> filesBefore = scratch.fileNames();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const ProgramResult result = runRenderer(test.arguments, scratch);
        EXPECT_EQ(result.exitStatus, test.status);
        EXPECT_EQ(lineCount(result.errors), 1) << result.errors;
        EXPECT_NE(result.errors.find(test.message), std::string::npos) << result.errors;
        EXPECT_EQ(scratch.fileNames(), filesBefore);
        EXPECT_EQ(fileText(existing), "precious");
    }
}

}  // namespace
}  // namespace rendertest
