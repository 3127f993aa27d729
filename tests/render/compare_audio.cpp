// orbelune-compare-audio A B TOLERANCE: compares two audio files sample by
// sample; exit status 0 when they have the same shape and no sample differs by
// more than TOLERANCE. Used to hold the Windows renderer to the Linux one.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool readAll(const char* path, SF_INFO& info, std::vector<float>& samples) {
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "compare: cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return read == info.frames;
}

}  // namespace

int main(int argumentCount, char** argumentValues) {
    if (argumentCount != 4) {
        std::fprintf(stderr, "usage: orbelune-compare-audio A B TOLERANCE\n");
        return 2;
    }
    SF_INFO first = {}, second = {};
    std::vector<float> firstSamples, secondSamples;
    if (!readAll(argumentValues[1], first, firstSamples) || !readAll(argumentValues[2], second, secondSamples)) return 1;
    if (first.channels != second.channels || first.frames != second.frames || first.samplerate != second.samplerate) {
        std::fprintf(stderr, "compare: %s and %s differ in shape (%d/%d channels, %lld/%lld frames, %d/%d Hz)\n",
                     argumentValues[1], argumentValues[2], first.channels, second.channels,
                     static_cast<long long>(first.frames), static_cast<long long>(second.frames), first.samplerate,
                     second.samplerate);
        return 1;
    }
    const double tolerance = std::atof(argumentValues[3]);
    double largest = 0.0;
    std::size_t largestAt = 0;
    std::size_t differing = 0;
    for (std::size_t index = 0; index < firstSamples.size(); ++index) {
        const double difference = std::fabs(static_cast<double>(firstSamples[index]) - secondSamples[index]);
        if (!(difference <= largest)) {
            largest = difference;
            largestAt = index;
        }
        if (difference != 0.0) ++differing;
    }
    const bool agree = largest <= tolerance;
    std::printf("compare: %s vs %s: %zu of %zu samples differ, largest difference %.3g (frame %zu)%s\n",
                argumentValues[1], argumentValues[2], differing, firstSamples.size(), largest,
                largestAt / static_cast<std::size_t>(first.channels), agree ? "" : " -- above the tolerance");
    return agree ? 0 : 1;
}
