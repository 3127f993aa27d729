#include "decay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "errors.h"
#include "platform.h"

namespace render {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kFitStartDecibels = -5.0;  // leaves out the direct sound and the first reflections
constexpr double kFitEndDecibels = -35.0;   // T30
constexpr double kShortFitEndDecibels = -25.0;  // T20, when the curve does not reach -35 dB
constexpr double kDecayDecibels = -60.0;    // the reverberation time is the time for a 60 dB fall
constexpr int kMinimumFitFrames = 8;        // fewer points than this make no line
constexpr double kFloorDecibels = -200.0;   // level written where the remaining energy is zero
constexpr double kOctaveBandCentresHz[] = {125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0};
// An octave band reaches from f/sqrt(2) to f·sqrt(2): a band-pass with Q = sqrt(2).
constexpr double kOctaveBandQ = 1.4142135623730951;
constexpr double kHighestBandEdgeRatio = 1.4142135623730951;  // upper edge of a band over its centre
constexpr double kNyquistMargin = 0.45;     // bands whose upper edge passes 0.45 of the rate are left out
constexpr int kBandFilterStages = 2;        // two band-pass sections: fourth-order skirts
constexpr double kCurveStepSeconds = 0.001; // resolution of the written curves
// A band filter rings on its own; a band time below twice the filters' own
// time (measured the same way on a bare impulse) says more about the filter
// than about the plug-in, and is not reported.
constexpr double kFilterRingingMargin = 2.0;

// A second-order band-pass with 0 dB at its centre (the bilinear cookbook form),
// run in transposed direct form II.
struct BandPass {
    double b0 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;  // b1 is zero for this design
    double state1 = 0.0, state2 = 0.0;
};

BandPass designBandPass(double centreHz, double sampleRate) {
    const double angle = 2.0 * kPi * centreHz / sampleRate;
    const double alpha = std::sin(angle) / (2.0 * kOctaveBandQ);
    const double a0 = 1.0 + alpha;
    BandPass filter;
    filter.b0 = alpha / a0;
    filter.b2 = -alpha / a0;
    filter.a1 = -2.0 * std::cos(angle) / a0;
    filter.a2 = (1.0 - alpha) / a0;
    return filter;
}

double runBandPass(BandPass& filter, double input) {
    const double output = filter.b0 * input + filter.state1;
    filter.state1 = -filter.a1 * output + filter.state2;
    filter.state2 = filter.b2 * input - filter.a2 * output;
    return output;
}

std::vector<double> bandFiltered(const std::vector<float>& channel, double centreHz, double sampleRate) {
    std::vector<double> signal(channel.begin(), channel.end());
    for (int stage = 0; stage < kBandFilterStages; ++stage) {
        BandPass filter = designBandPass(centreHz, sampleRate);
        for (double& sample : signal) sample = runBandPass(filter, sample);
    }
    return signal;
}

// Energy per frame over both channels, from the samples of each.
std::vector<double> frameEnergy(const std::vector<double>& left, const std::vector<double>& right) {
    std::vector<double> energy(left.size());
    for (std::size_t frame = 0; frame < left.size(); ++frame) {
        energy[frame] = left[frame] * left[frame] + right[frame] * right[frame];
    }
    return energy;
}

std::size_t loudestFrame(const std::vector<double>& energy) {
    return static_cast<std::size_t>(std::max_element(energy.begin(), energy.end()) - energy.begin());
}

DecayCurve decayCurveOf(const std::vector<double>& energy, double centreHz, double sampleRate) {
    DecayCurve curve;
    curve.centreHz = centreHz;
    // The integration starts after the loudest frame, the direct sound: with a
    // dry signal in the mix, that one frame would otherwise hold most of the
    // energy and hide the slope of the tail.
    curve.startFrame = energy.empty() ? 0 : std::min(loudestFrame(energy) + 1, energy.size() - 1);
    curve.levelDecibels = energyDecayCurve(energy, curve.startFrame);
    fitReverberationTime(curve, sampleRate);
    return curve;
}

// Least-squares slope, in dB per frame, of the curve between two levels.
bool fitSlope(const DecayCurve& curve, double endDecibels, double& slope) {
    double count = 0.0, sumFrames = 0.0, sumLevels = 0.0, sumFrameSquares = 0.0, sumProducts = 0.0;
    bool reachedEnd = false;
    for (std::size_t frame = curve.startFrame; frame < curve.levelDecibels.size(); ++frame) {
        const double level = curve.levelDecibels[frame];
        if (level < endDecibels) {
            reachedEnd = true;
            break;
        }
        if (level > kFitStartDecibels) continue;
        const double time = static_cast<double>(frame);
        count += 1.0;
        sumFrames += time;
        sumLevels += level;
        sumFrameSquares += time * time;
        sumProducts += time * level;
    }
    if (!reachedEnd || count < kMinimumFitFrames) return false;
    const double denominator = count * sumFrameSquares - sumFrames * sumFrames;
    if (denominator <= 0.0) return false;
    slope = (count * sumProducts - sumFrames * sumLevels) / denominator;
    return slope < 0.0;
}

// The reverberation time the band filters give a bare impulse.
double filterDecaySeconds(double centreHz, double sampleRate) {
    const std::size_t frames = static_cast<std::size_t>(sampleRate);  // a second: far longer than any ringing
    std::vector<float> impulse(frames, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<double> ringing = bandFiltered(impulse, centreHz, sampleRate);
    const std::vector<double> silence(frames, 0.0);
    const double seconds = decayCurveOf(frameEnergy(ringing, silence), centreHz, sampleRate).rt60Seconds;
    return std::isnan(seconds) ? 0.0 : seconds;
}

std::string formatSeconds(const DecayCurve& curve) {
    if (std::isnan(curve.rt60Seconds)) return "   -  ";
    char text[32];
    std::snprintf(text, sizeof(text), "%6.2f", curve.rt60Seconds);
    return text;
}

const char* shortFitMark(const DecayCurve& curve) {
    return curve.fitRangeDecibels == static_cast<int>(std::lround(kFitStartDecibels - kShortFitEndDecibels)) ? " *" : "";
}

}  // namespace

std::vector<double> energyDecayCurve(const std::vector<double>& energy, std::size_t startFrame) {
    // Backward integration: every frame's remaining energy, summed from the
    // end, where the values are smallest, towards the start.
    std::vector<double> remaining(energy.size(), 0.0);
    double sum = 0.0;
    for (std::size_t frame = energy.size(); frame-- > startFrame;) {
        sum += energy[frame];
        remaining[frame] = sum;
    }
    const double total = startFrame < energy.size() ? remaining[startFrame] : 0.0;
    std::vector<double> levels(energy.size(), 0.0);
    for (std::size_t frame = startFrame; frame < energy.size(); ++frame) {
        levels[frame] = remaining[frame] > 0.0 && total > 0.0 ? 10.0 * std::log10(remaining[frame] / total)
                                                              : kFloorDecibels;
    }
    return levels;
}

void fitReverberationTime(DecayCurve& curve, double sampleRate) {
    double slope = 0.0;
    curve.rt60Seconds = std::numeric_limits<double>::quiet_NaN();
    curve.fitRangeDecibels = 0;
    for (const double endDecibels : {kFitEndDecibels, kShortFitEndDecibels}) {
        if (fitSlope(curve, endDecibels, slope)) {
            curve.rt60Seconds = kDecayDecibels / slope / sampleRate;
            curve.fitRangeDecibels = static_cast<int>(std::lround(kFitStartDecibels - endDecibels));
            return;
        }
    }
}

DecayMeasurement measureDecay(const StereoBuffer& impulseResponse, double sampleRate) {
    DecayMeasurement measurement;
    measurement.sampleRate = sampleRate;
    const std::vector<double> left(impulseResponse.left.begin(), impulseResponse.left.end());
    const std::vector<double> right(impulseResponse.right.begin(), impulseResponse.right.end());
    measurement.broadband = decayCurveOf(frameEnergy(left, right), 0.0, sampleRate);
    for (const double centreHz : kOctaveBandCentresHz) {
        if (centreHz * kHighestBandEdgeRatio > kNyquistMargin * sampleRate) continue;
        const std::vector<double> bandEnergy = frameEnergy(bandFiltered(impulseResponse.left, centreHz, sampleRate),
                                                           bandFiltered(impulseResponse.right, centreHz, sampleRate));
        DecayCurve band = decayCurveOf(bandEnergy, centreHz, sampleRate);
        if (band.rt60Seconds < kFilterRingingMargin * filterDecaySeconds(centreHz, sampleRate)) {
            band.rt60Seconds = std::numeric_limits<double>::quiet_NaN();
            band.fitRangeDecibels = 0;
        }
        measurement.octaveBands.push_back(band);
    }
    return measurement;
}

void writeDecayCurves(const std::string& path, const DecayMeasurement& measurement) {
    std::vector<const DecayCurve*> curves = {&measurement.broadband};
    for (const DecayCurve& band : measurement.octaveBands) curves.push_back(&band);

    const std::string temporaryPath = path + ".partial";
    std::FILE* file = std::fopen(temporaryPath.c_str(), "w");
    if (file == nullptr) throw RenderError("cannot write decay curves to '" + path + "'");
    std::fprintf(file, "# energy decay curves (Schroeder backward integration), dB; time in seconds\ntime broadband");
    for (const DecayCurve& band : measurement.octaveBands) std::fprintf(file, " %.0fHz", band.centreHz);
    std::fprintf(file, "\n");
    const std::size_t frames = measurement.broadband.levelDecibels.size();
    const std::size_t step = std::max<std::size_t>(1, static_cast<std::size_t>(kCurveStepSeconds * measurement.sampleRate));
    for (std::size_t frame = 0; frame < frames; frame += step) {
        std::fprintf(file, "%.4f", static_cast<double>(frame) / measurement.sampleRate);
        for (const DecayCurve* curve : curves) {
            // Before its start a curve has no value; gnuplot skips "?" entries.
            if (frame < curve->startFrame) {
                std::fprintf(file, " ?");
            } else {
                std::fprintf(file, " %.3f", curve->levelDecibels[frame]);
            }
        }
        std::fprintf(file, "\n");
    }
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written || !replaceFile(temporaryPath, path)) {
        std::remove(temporaryPath.c_str());
        throw RenderError("cannot write decay curves to '" + path + "'");
    }
}

std::string describeDecay(const DecayMeasurement& measurement) {
    std::string text = "RT60 (Schroeder integration, T30 fit; T20 where marked *; - where no decay is measurable)\n  broadband  " +
                       formatSeconds(measurement.broadband) + " s" +
                       shortFitMark(measurement.broadband) + "\n";
    for (const DecayCurve& band : measurement.octaveBands) {
        char label[32];
        std::snprintf(label, sizeof(label), "  %5.0f Hz   ", band.centreHz);
        text += label + formatSeconds(band) + " s" + shortFitMark(band) + "\n";
    }
    return text;
}

}  // namespace render
