#include "audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "errors.h"
#include "platform.h"

namespace render {

namespace {

constexpr sf_count_t kChunkFrames = 65536;  // frames moved per libsndfile call
constexpr int kMaximumFileChannels = 2;
constexpr int kOutputChannels = 2;  // outputs are always stereo, interleaved left, right

// libsndfile's messages end with a full stop; ours are one line without one.
std::string libraryMessage(SNDFILE* file) {
    std::string message = sf_strerror(file);
    while (!message.empty() && (message.back() == '.' || message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

std::string extensionOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t separator = path.find_last_of("/\\");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return extension;
}

int outputFormat(const std::string& path, SampleFormat format) {
    const std::string extension = extensionOf(path);
    const int sampleType = format == SampleFormat::pcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
    if (extension == "wav") return SF_FORMAT_WAV | sampleType;
    if (extension == "aif" || extension == "aiff" || extension == "aifc") return SF_FORMAT_AIFF | sampleType;
    if (extension == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    throw UsageError("cannot tell the output format from '" + path + "': name it .wav, .flac or .aiff");
}

// libsndfile keeps the error of a failed open in a global, read back with
// sf_strerror(NULL), so opening files from several threads at once is
// serialised; a handle once open is used by one thread only.
std::mutex& openLock() {
    static std::mutex lock;
    return lock;
}

class SoundFile {
  public:
    SoundFile(const std::string& path, int mode, SF_INFO& info) {
        const std::lock_guard<std::mutex> lock(openLock());
        file_ = sf_open(path.c_str(), mode, &info);
        if (file_ == nullptr) openError_ = libraryMessage(nullptr);
    }
    ~SoundFile() { close(); }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
    SNDFILE* get() const { return file_; }
    const std::string& openError() const { return openError_; }
    int close() {
        const int result = file_ != nullptr ? sf_close(file_) : 0;
        file_ = nullptr;
        return result;
    }

  private:
    SNDFILE* file_ = nullptr;
    std::string openError_;
};

}  // namespace

AudioFile readAudioFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw RenderError("input '" + path + "' is a directory, not a file");
    if (!std::ifstream(path).good()) throw RenderError("cannot open input '" + path + "': no such readable file");
    SF_INFO info = {};
    SoundFile file(path, SFM_READ, info);
    if (file.get() == nullptr) {
        throw RenderError("cannot read input '" + path + "': " + file.openError());
    }
    if (info.channels < 1 || info.channels > kMaximumFileChannels) {
        throw RenderError("input '" + path + "' has " + std::to_string(info.channels) +
                          " channels; the renderer takes mono or stereo files");
    }
    if (info.samplerate <= 0) throw RenderError("input '" + path + "' has no valid sample rate");

    AudioFile result;
    result.sampleRate = info.samplerate;
    result.channels = info.channels;
    std::vector<float> interleaved(static_cast<std::size_t>(kChunkFrames * info.channels));
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), interleaved.data(), kChunkFrames);
        if (frames <= 0) break;
        const std::size_t start = result.audio.frames();
        result.audio.resize(start + static_cast<std::size_t>(frames));
        for (sf_count_t frame = 0; frame < frames; ++frame) {
            const std::size_t first = static_cast<std::size_t>(frame * info.channels);
            const std::size_t last = first + static_cast<std::size_t>(info.channels - 1);
            result.audio.left[start + frame] = interleaved[first];
            result.audio.right[start + frame] = interleaved[last];  // mono: the same sample to both inputs
        }
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        throw RenderError("cannot read input '" + path + "': " + libraryMessage(file.get()));
    }
    return result;
}

void checkOutputFormat(const std::string& path) { outputFormat(path, SampleFormat::float32); }

void writeAudioFile(const std::string& path, const StereoBuffer& audio, double sampleRate, SampleFormat format,
                    bool replaceExisting) {
    SF_INFO info = {};
    info.samplerate = static_cast<int>(std::lround(sampleRate));
    info.channels = kOutputChannels;
    info.format = outputFormat(path, format);
    if (sf_format_check(&info) == 0) throw RenderError("libsndfile cannot write '" + path + "' in this format");

    const std::string temporaryPath = path + ".partial-" + std::to_string(processId());
    std::string failure;
    {
        SoundFile file(temporaryPath, SFM_WRITE, info);
        if (file.get() == nullptr) {
            throw RenderError("cannot write output '" + path + "': " + file.openError());
        }
        // Integer formats clip out-of-range samples instead of wrapping them.
        sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
        sf_set_string(file.get(), SF_STR_SOFTWARE, "orbelune-render");
        std::vector<float> interleaved(static_cast<std::size_t>(kChunkFrames * info.channels));
        for (std::size_t start = 0; start < audio.frames() && failure.empty(); start += kChunkFrames) {
            const std::size_t frames = std::min<std::size_t>(kChunkFrames, audio.frames() - start);
            for (std::size_t frame = 0; frame < frames; ++frame) {
                interleaved[frame * kOutputChannels] = audio.left[start + frame];
                interleaved[frame * kOutputChannels + 1] = audio.right[start + frame];
            }
            if (sf_writef_float(file.get(), interleaved.data(), static_cast<sf_count_t>(frames)) !=
                static_cast<sf_count_t>(frames)) {
                failure = libraryMessage(file.get());
            }
        }
        if (file.close() != 0 && failure.empty()) failure = "closing the file failed";
    }
    if (failure.empty()) {
        if (replaceExisting) {
            if (!replaceFile(temporaryPath, path)) failure = "cannot rename the finished file into place";
        } else {
            const MoveResult moved = moveFileNoReplace(temporaryPath, path);
            if (moved == MoveResult::targetExists) failure = "a file of that name appeared meanwhile and was left as it was";
            if (moved == MoveResult::failed) failure = "cannot rename the finished file into place";
        }
    }
    if (!failure.empty()) {
        std::remove(temporaryPath.c_str());
        throw RenderError("cannot write output '" + path + "': " + failure);
    }
}

}  // namespace render
