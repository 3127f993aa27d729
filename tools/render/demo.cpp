#include "demo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace render {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kPhraseSeconds = 4.0;
constexpr double kPeakAmplitude = 0.5;  // -6 dBFS: room for the reverb on top

// Kick: a sine whose pitch falls from 150 Hz towards 45 Hz, with a 0.18 s decay.
constexpr double kKickStartHz = 150.0;
constexpr double kKickEndHz = 45.0;
constexpr double kKickPitchFallSeconds = 0.04;
constexpr double kKickDecaySeconds = 0.18;
// Snare: a noise burst over a 190 Hz body, decaying in 0.09 s and 0.06 s.
constexpr double kSnareNoiseDecaySeconds = 0.09;
constexpr double kSnareBodyHz = 190.0;
constexpr double kSnareBodyDecaySeconds = 0.06;
constexpr double kSnareBodyShare = 0.4;
// Hits shorter than this many decay times are cut off.
constexpr double kDecaysPerHit = 8.0;

// Plucks: Karplus-Strong strings, each losing a little energy per period.
constexpr double kPluckSeconds = 2.2;
constexpr double kStringLoss = 0.996;
constexpr double kStrumSpacingSeconds = 0.035;

// A deterministic noise source (xorshift32), so the phrase is the same
// everywhere.
struct NoiseSource {
    std::uint32_t state = 0x2545F491u;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;  // -1..1
    }
};

enum class Sound { kick, snare, pluck };

struct NoteEvent {
    double startSeconds;
    Sound sound;
    double frequencyHz;  // plucks only
    double pan;          // -1 left .. 1 right
    double gain;
};

// The phrase: kick, snare, kick, kick, snare, then an A minor seventh chord
// strummed from the lowest string up, spread across the stereo field.
constexpr NoteEvent kPhrase[] = {
    {0.00, Sound::kick, 0.0, 0.0, 1.0},       {0.40, Sound::snare, 0.0, -0.2, 0.7},
    {0.80, Sound::kick, 0.0, 0.0, 1.0},       {1.00, Sound::kick, 0.0, 0.0, 0.8},
    {1.20, Sound::snare, 0.0, 0.2, 0.8},      {1.70, Sound::pluck, 110.00, -0.6, 0.6},
    {1.70, Sound::pluck, 164.81, -0.3, 0.5},  {1.70, Sound::pluck, 196.00, 0.0, 0.5},
    {1.70, Sound::pluck, 261.63, 0.3, 0.45},  {1.70, Sound::pluck, 329.63, 0.6, 0.4},
};

double kickSample(double time) {
    // The phase of a pitch falling exponentially from the start to the end
    // frequency: the integral of that frequency over time.
    const double phase = 2.0 * kPi *
                         (kKickEndHz * time + (kKickStartHz - kKickEndHz) * kKickPitchFallSeconds *
                                                  (1.0 - std::exp(-time / kKickPitchFallSeconds)));
    return std::sin(phase) * std::exp(-time / kKickDecaySeconds);
}

double snareSample(double time, NoiseSource& noise) {
    const double body = std::sin(2.0 * kPi * kSnareBodyHz * time) * std::exp(-time / kSnareBodyDecaySeconds);
    const double rattle = noise.next() * std::exp(-time / kSnareNoiseDecaySeconds);
    return kSnareBodyShare * body + (1.0 - kSnareBodyShare) * rattle;
}

std::vector<double> pluckedString(double frequencyHz, NoiseSource& noise) {
    const std::size_t period = static_cast<std::size_t>(std::lround(kDemoSampleRate / frequencyHz));
    std::vector<double> string(period);
    for (double& sample : string) sample = noise.next();
    std::vector<double> sound(static_cast<std::size_t>(kPluckSeconds * kDemoSampleRate));
    for (std::size_t frame = 0; frame < sound.size(); ++frame) {
        const std::size_t here = frame % period;
        const std::size_t next = (frame + 1) % period;
        sound[frame] = string[here];
        string[here] = kStringLoss * 0.5 * (string[here] + string[next]);  // the averaging low-pass of the string
    }
    return sound;
}

std::vector<double> hitSound(const NoteEvent& note, NoiseSource& noise) {
    if (note.sound == Sound::pluck) return pluckedString(note.frequencyHz, noise);
    const double decaySeconds = note.sound == Sound::kick ? kKickDecaySeconds : kSnareNoiseDecaySeconds;
    std::vector<double> sound(static_cast<std::size_t>(kDecaysPerHit * decaySeconds * kDemoSampleRate));
    for (std::size_t frame = 0; frame < sound.size(); ++frame) {
        const double time = static_cast<double>(frame) / kDemoSampleRate;
        sound[frame] = note.sound == Sound::kick ? kickSample(time) : snareSample(time, noise);
    }
    return sound;
}

}  // namespace

StereoBuffer synthesiseDemoPhrase() {
    const std::size_t frames = static_cast<std::size_t>(kPhraseSeconds * kDemoSampleRate);
    std::vector<double> left(frames, 0.0);
    std::vector<double> right(frames, 0.0);
    NoiseSource noise;
    int pluckNumber = 0;
    for (const NoteEvent& note : kPhrase) {
        double startSeconds = note.startSeconds;
        if (note.sound == Sound::pluck) startSeconds += kStrumSpacingSeconds * pluckNumber++;
        const std::vector<double> sound = hitSound(note, noise);
        // Constant-power panning.
        const double angle = (note.pan + 1.0) * kPi / 4.0;
        const double leftGain = note.gain * std::cos(angle);
        const double rightGain = note.gain * std::sin(angle);
        const std::size_t start = static_cast<std::size_t>(std::lround(startSeconds * kDemoSampleRate));
        for (std::size_t frame = 0; frame < sound.size() && start + frame < frames; ++frame) {
            left[start + frame] += leftGain * sound[frame];
            right[start + frame] += rightGain * sound[frame];
        }
    }
    double peak = 0.0;
    for (std::size_t frame = 0; frame < frames; ++frame) peak = std::max({peak, std::fabs(left[frame]), std::fabs(right[frame])});
    const double scale = peak > 0.0 ? kPeakAmplitude / peak : 0.0;
    StereoBuffer phrase;
    phrase.resize(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        phrase.left[frame] = static_cast<float>(left[frame] * scale);
        phrase.right[frame] = static_cast<float>(right[frame] * scale);
    }
    return phrase;
}

StereoBuffer unitImpulse(std::size_t frames) {
    StereoBuffer impulse;
    impulse.resize(std::max<std::size_t>(frames, 1));
    impulse.left[0] = 1.0f;
    impulse.right[0] = 1.0f;
    return impulse;
}

}  // namespace render
