// The built-in demo material: a short dry phrase synthesised in code, the same
// on every run and every platform.
#pragma once

#include "audio_file.h"

namespace render {

constexpr double kDemoSampleRate = 44100.0;

// A few percussive hits, then a plucked chord that rings out: about four
// seconds of stereo at kDemoSampleRate, peaking at -6 dBFS.
StereoBuffer synthesiseDemoPhrase();

// A unit impulse on both channels followed by silence.
StereoBuffer unitImpulse(std::size_t frames);

}  // namespace render
