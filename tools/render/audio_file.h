// Audio files in and out, through libsndfile.
#pragma once

#include <string>
#include <vector>

namespace render {

// Two channels of 32-bit samples, the plug-in's own sample format.
struct StereoBuffer {
    std::vector<float> left;
    std::vector<float> right;

    std::size_t frames() const { return left.size(); }
    void resize(std::size_t frames) {
        left.resize(frames);
        right.resize(frames);
    }
};

struct AudioFile {
    StereoBuffer audio;
    double sampleRate = 0.0;
    int channels = 0;  // in the file: 1 (fed to both inputs) or 2
};

enum class SampleFormat { float32, pcm24 };

// Reads a mono or stereo file of any format libsndfile knows (WAV, FLAC,
// AIFF, ...); throws RenderError with a one-line reason otherwise. Reading
// and writing are safe from several threads at once, on different files.
AudioFile readAudioFile(const std::string& path);

// Writes a stereo file whose container follows the extension (.wav, .flac,
// .aif/.aiff). FLAC holds integers only, so it is always 24-bit. The data goes
// to a temporary file beside the output first and is renamed to the output's
// name only when complete, so a failure never leaves a truncated file behind.
// Without `replaceExisting`, a file that has the output's name by then is
// left alone and the write fails.
void writeAudioFile(const std::string& path, const StereoBuffer& audio, double sampleRate, SampleFormat format,
                    bool replaceExisting = true);

// Throws UsageError when the output's extension names no format the renderer
// writes, so that a render can be refused before it starts.
void checkOutputFormat(const std::string& path);

}  // namespace render
