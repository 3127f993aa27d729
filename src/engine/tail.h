// How long the reverb rings on after its input stops, for hosts that ask.
#pragma once

namespace orbelune {

// Seconds until an impulse's reverberation has fallen 90 dB, plus the
// pre-delay, for 0..1 values of "Decay" and "Size".
double tailSeconds(float decay, float size, float preDelaySeconds);

}  // namespace orbelune
