// Helpers for the renderer's tests: running the program as a user would, and
// audio files written and read with libsndfile directly (not with the
// renderer's own code, so that a fault there cannot hide itself).
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace rendertest {

namespace fs = std::filesystem;

struct ProgramResult {
    int exitStatus = -1;
    std::string output;  // standard output
    std::string errors;  // standard error
};

inline std::string quoted(const std::string& text) {
    std::string result = "'";
    for (const char character : text) result += character == '\'' ? std::string("'\\''") : std::string(1, character);
    return result + "'";
}

inline std::string fileText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A fresh directory per test, removed when the test ends.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::path(testing::TempDir()) / ("orbelune-render-" + std::to_string(getpid()) + "-" +
                                                 std::string(test->test_suite_name()) + "-" + test->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDirectory() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }
    // The files in the directory, by name.
    std::vector<std::string> fileNames() const { return namesIn(path_); }
    static std::vector<std::string> namesIn(const fs::path& directory) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

inline ProgramResult runRenderer(const std::vector<std::string>& arguments, const ScratchDirectory& scratch) {
    std::string command = quoted(ORBELUNE_RENDER_PROGRAM);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    const fs::path outputFile = scratch.path().parent_path() / (scratch.path().filename().string() + ".stdout");
    const fs::path errorFile = scratch.path().parent_path() / (scratch.path().filename().string() + ".stderr");
    command += " >" + quoted(outputFile.string()) + " 2>" + quoted(errorFile.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    ProgramResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = fileText(outputFile);
    result.errors = fileText(errorFile);
    fs::remove(outputFile);
    fs::remove(errorFile);
    return result;
}

struct Audio {
    int sampleRate = 44100;
    int channels = 2;
    int format = 0;
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
    float sample(std::size_t frame, int channel) const {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
};

inline void writeAudio(const fs::path& path, const Audio& audio, int format) {
    SF_INFO info = {};
    info.samplerate = audio.sampleRate;
    info.channels = audio.channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(file, audio.samples.data(), static_cast<sf_count_t>(audio.frames())),
              static_cast<sf_count_t>(audio.frames()));
    sf_close(file);
}

inline Audio readAudio(const fs::path& path) {
    SF_INFO info = {};
    Audio audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (file == nullptr) return audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

// Test material: decaying noise bursts and a sine, different on the two
// channels, the same on every run.
inline Audio testSignal(std::size_t frames, int channels, int sampleRate = 44100) {
    Audio audio;
    audio.sampleRate = sampleRate;
    audio.channels = channels;
    audio.samples.resize(frames * static_cast<std::size_t>(channels));
    std::uint32_t noise = 12345u;
    const std::size_t burstFrames = static_cast<std::size_t>(sampleRate) / 4;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            noise = noise * 1664525u + 1013904223u;
            const double white = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
            const double burst = white * std::exp(-static_cast<double>(frame % burstFrames) / (0.02 * sampleRate));
            const double tone = 0.2 * std::sin(0.05 * static_cast<double>(frame) * (channel + 1));
            audio.samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] =
                static_cast<float>(0.5 * burst + tone);
        }
    }
    return audio;
}

inline int lineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace rendertest
