// The fuzzers' bytes read as a stream of small decisions and values; past the
// end everything reads as 0, so a short input is still a whole session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace hardening {

class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return position_ >= size_; }
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= static_cast<std::uint32_t>(byte()) << shift;
        return value;
    }
    std::uint64_t longWord() { return word() | static_cast<std::uint64_t>(word()) << 32; }
    // Floats a host may send by mistake as well as ordinary ones.
    float anyFloat() {
        static const float special[] = {0.0f,
                                        -0.0f,
                                        1.0f,
                                        0.5f,
                                        std::numeric_limits<float>::quiet_NaN(),
                                        std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity(),
                                        std::numeric_limits<float>::denorm_min(),
                                        1e30f,
                                        -1e30f,
                                        44100.0f,
                                        48000.0f,
                                        8000.0f,
                                        384000.0f,
                                        1e7f,
                                        -96000.0f};
        const std::uint8_t kind = byte();
        if (kind < 128) return special[kind % (sizeof special / sizeof special[0])];
        const std::uint32_t bits = word();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // The same for doubles, with values past the range of a float.
    double anyDouble() {
        static const double special[] = {0.0,
                                         -0.0,
                                         1.0,
                                         0.5,
                                         std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         std::numeric_limits<double>::denorm_min(),
                                         std::numeric_limits<double>::max(),
                                         -1e300,
                                         1e-300,
                                         2.0,
                                         -1.0,
                                         0.49999999999,
                                         1.0000000001,
                                         44100.0,
                                         48000.0,
                                         8000.0,
                                         384000.0,
                                         1e7,
                                         -96000.0};
        const std::uint8_t kind = byte();
        if (kind < 128) return special[kind % (sizeof special / sizeof special[0])];
        const std::uint64_t bits = longWord();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace hardening
