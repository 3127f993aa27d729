// The tail after the input when no --tail is given: it must hold the whole
// decay at any setting, wait out a plug-in's latency, and end at the cap for a
// plug-in that never falls silent.
#include <algorithm>
#include <sstream>

#include "engine/tail.h"

#include "render_test_support.h"

namespace rendertest {
namespace {

// A click in the first and the last frame of a short stereo input.
Audio clicks(int sampleRate, std::size_t frames) {
    Audio audio;
    audio.sampleRate = sampleRate;
    audio.samples.assign(frames * 2, 0.0f);
    for (const std::size_t frame : {std::size_t{0}, frames - 1}) audio.samples[frame * 2] = audio.samples[frame * 2 + 1] = 1.0f;
    return audio;
}

double decibels(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-30)); }

double peakOf(const Audio& audio) {
    float peak = 0.0f;
    for (const float sample : audio.samples) peak = std::max(peak, std::fabs(sample));
    return peak;
}

double rmsOfLast(const Audio& audio, std::size_t frames) {
    double energy = 0.0;
    const std::size_t first = (audio.frames() - frames) * 2;
    for (std::size_t index = first; index < audio.samples.size(); ++index) energy += audio.samples[index] * audio.samples[index];
    return std::sqrt(energy / static_cast<double>(frames * 2));
}

TEST(RendererTail, HoldsTheWholeDecayAtTheDefaultsAndAtTheLongestSetting) {
    ScratchDirectory scratch;
    constexpr std::size_t kInputFrames = 441;
    writeAudio(scratch / "click.wav", clicks(44100, kInputFrames), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    struct Case {
        std::vector<std::string> settings;
        double shortestSeconds;
        double longestSeconds;
    };
    // The defaults gave a fixed 1.5 s before, measured as the slowest band's
    // 60 dB fall; Decay=1 with no damping rings for about half a minute.
    const std::vector<Case> cases = {
        {{}, 1.0, 2.0},
        {{"--set", "Decay=1", "--set", "Damping=0", "--set", "Mix=1"}, 20.0, 60.0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.settings.empty() ? "defaults" : "longest decay");
        std::vector<std::string> arguments = {"--plugin", ORBELUNE_PLUGIN_BINARY};
        arguments.insert(arguments.end(), test.settings.begin(), test.settings.end());
        arguments.insert(arguments.end(), {(scratch / "click.wav").string(), (scratch / "out.wav").string()});
        const ProgramResult result = runRenderer(arguments, scratch);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        EXPECT_NE(result.output.find("stayed below"), std::string::npos) << result.output;
        const Audio output = readAudio(scratch / "out.wav");
        const double tailSeconds = static_cast<double>(output.frames() - kInputFrames) / 44100.0;
        EXPECT_GE(tailSeconds, test.shortestSeconds);
        EXPECT_LE(tailSeconds, test.longestSeconds);
        // Not cut: the file ends far below its peak, not in the middle of the decay.
        EXPECT_LT(decibels(rmsOfLast(output, 4410)), decibels(peakOf(output)) - 90.0);
    }
}

// A stand-in delay of 4000 frames that says so in its latency, at 8000 Hz: a
// hold of 0.25 s alone would stop before the delayed click comes out.
TEST(RendererTail, WaitsOutTheLatencyAndStopsAtTheCapWhenTheOutputNeverFallsSilent) {
    ScratchDirectory scratch;
    constexpr int kRate = 8000;
    constexpr std::size_t kInputFrames = 800;
    constexpr std::size_t kDelayFrames = 4000;
    writeAudio(scratch / "click.wav", clicks(kRate, kInputFrames), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const std::string plugin = std::string(ORBELUNE_FIXTURE_DIRECTORY) + "/render_fixture_latent_delay.so";
    const std::string input = (scratch / "click.wav").string();
    const std::string output = (scratch / "out.wav").string();

    ProgramResult result = runRenderer({"--plugin", plugin, input, output}, scratch);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    Audio rendered = readAudio(output);
    // The last click leaves the plug-in 3999 frames into the tail; then the
    // output must stay quiet for the hold, 2000 frames, plus the latency.
    ASSERT_EQ(rendered.frames(), kInputFrames + kDelayFrames + 2000 + kDelayFrames);
    EXPECT_EQ(rendered.sample(kInputFrames - 1 + kDelayFrames, 0), 1.0f);

    result = runRenderer({"--plugin", plugin, "--set", "Hum=1", input, output}, scratch);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(lineCount(result.errors), 1) << result.errors;
    EXPECT_NE(result.errors.find("did not fall silent within 120 s"), std::string::npos) << result.errors;
    EXPECT_NE(result.output.find("120 s cap"), std::string::npos) << result.output;
    rendered = readAudio(output);
    ASSERT_EQ(rendered.frames(), kInputFrames + 120u * kRate);
    // Faded out over the last 0.1 s rather than cut.
    EXPECT_EQ(rendered.sample(rendered.frames() - 1, 0), 0.0f);
    EXPECT_FLOAT_EQ(rendered.sample(rendered.frames() - 801, 1), 0.01f);
    EXPECT_NEAR(rendered.sample(rendered.frames() - 400, 1), 0.005f, 1e-4f);
}

// The tail the plug-in reports to hosts follows the reverberation the renderer
// measures, between the settings it was measured at as well.
TEST(ReportedTail, FollowsTheMeasuredReverberationTime) {
    const ScratchDirectory scratch;
    const struct {
        float decay, size;
    } settings[] = {{0.45f, 0.6f}, {0.93f, 0.6f}, {0.97f, 0.35f}};
    for (const auto& setting : settings) {
        const ProgramResult result = runRenderer({"--measure-decay", "--set", "Damping=0", "--set",
                                                  "Decay=" + std::to_string(setting.decay), "--set",
                                                  "Size=" + std::to_string(setting.size)},
                                                 scratch);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        double longest = 0.0;
        std::istringstream lines(result.output);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            double band = 0.0, seconds = 0.0;
            std::string hertz;
            if (words >> band >> hertz >> seconds && hertz == "Hz") longest = std::max(longest, seconds);
        }
        const double reported = orbelune::tailSeconds(setting.decay, setting.size, 0.0f) / 1.5;
        EXPECT_GT(reported, 0.85 * longest) << setting.decay << " " << setting.size;
        EXPECT_LT(reported, 1.3 * longest) << setting.decay << " " << setting.size;
    }
}

}  // namespace
}  // namespace rendertest
