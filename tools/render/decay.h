// Reverberation time from an impulse response: Schroeder's backward-integrated
// energy decay curve, broadband and in octave bands, and a straight-line fit
// to it.
#pragma once

#include <string>
#include <vector>

#include "audio_file.h"

namespace render {

// One energy decay curve and the reverberation time read from it.
struct DecayCurve {
    double centreHz = 0.0;               // 0 for the broadband curve
    std::vector<double> levelDecibels;  // per frame, 0 dB where the integration starts
    std::size_t startFrame = 0;          // the direct sound: the curve starts just after it
    double rt60Seconds = 0.0;            // NaN when the curve does not fall far enough
    int fitRangeDecibels = 0;            // 30 (T30) or 20 (T20); 0 when not measured
};

struct DecayMeasurement {
    double sampleRate = 0.0;
    DecayCurve broadband;
    std::vector<DecayCurve> octaveBands;  // 125 Hz to 8 kHz; bands the rate cannot carry are left out
};

DecayMeasurement measureDecay(const StereoBuffer& impulseResponse, double sampleRate);

// The energy decay curve of a per-frame energy sequence, in dB relative to the
// energy from `startFrame` on.
std::vector<double> energyDecayCurve(const std::vector<double>& energy, std::size_t startFrame);

// The time a straight-line fit to the curve takes to fall 60 dB, fitted
// between -5 dB and -35 dB (or -25 dB when the curve does not reach -35 dB).
void fitReverberationTime(DecayCurve& curve, double sampleRate);

// The curves as columns of text for plotting: time in seconds, then one level
// column per curve, one line per millisecond.
void writeDecayCurves(const std::string& path, const DecayMeasurement& measurement);

// The measurement as a table for the terminal.
std::string describeDecay(const DecayMeasurement& measurement);

}  // namespace render
