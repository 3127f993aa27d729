// What our editor host programs (the Linux plug-in under X, the Windows DLL
// under Wine) share besides the stub host: the pixels of the panel whose
// colours are fixed, with boxes where its texts must leave ink. Both pictures
// are held to them, so they agree where it matters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/stub_host.h"

namespace editorpixels {

struct Spot {
    int x;
    int y;
    std::uint32_t rgb;
    int tolerance;  // per channel
    const char* what;
};

// At the default values, after a few idle frames.
constexpr Spot kFixedSpots[] = {
    {4, 4, 0x070A11, 2, "background near the top-left corner"},
    {17, 17, 0x283041, 3, "the top-left stud's centre"},
    {823, 503, 0x283041, 3, "the bottom-right stud's centre"},
    {95, 165, 0x141924, 10, "\"Decay\" body, between its gradient's ends"},
    {89, 165, 0xC084FC, 12, "\"Decay\" value arc at 180 degrees"},
    {130, 165, 0x0E1118, 3, "\"Decay\" centre cap"},
    {270, 95, 0x0A0D16, 3, "the visual panel's fill"},
};

struct TextBox {
    int left;
    int top;
    int right;
    int bottom;
    const char* what;
};

// A pixel is ink when its channels add up to more than this.
constexpr int kInkLevel = 120;
constexpr int kLeastInk = 50;
constexpr TextBox kTextBoxes[] = {
    {28, 18, 260, 42, "the title, in \"Cinzel\""},
    {80, 218, 180, 247, "\"Decay\" label and value, in \"Inter\""},
};

inline int channel(std::uint32_t rgb, int shift) { return static_cast<int>(rgb >> shift & 0xFF); }
inline int brightness(std::uint32_t rgb) { return channel(rgb, 16) + channel(rgb, 8) + channel(rgb, 0); }

// The editor as a test reads it back: 0xRRGGBB per pixel, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;

    std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
    bool looksLike(const Spot& spot) const {
        for (int shift : {16, 8, 0}) {
            const int difference = channel(at(spot.x, spot.y), shift) - channel(spot.rgb, shift);
            if (difference > spot.tolerance || -difference > spot.tolerance) return false;
        }
        return true;
    }
    // The ink pixels in a box, and where their middle lies.
    int ink(const TextBox& box, double* centreX = nullptr, double* centreY = nullptr) const {
        int count = 0;
        double sumX = 0.0, sumY = 0.0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                if (brightness(at(x, y)) > kInkLevel) {
                    ++count;
                    sumX += x;
                    sumY += y;
                }
        if (centreX != nullptr) *centreX = count > 0 ? sumX / count : -1.0;
        if (centreY != nullptr) *centreY = count > 0 ? sumY / count : -1.0;
        return count;
    }
    // The fixed spots and text boxes the picture misses, one line each, for
    // the panel painted at a whole-number scale.
    std::string misses(int scale = 1) const {
        std::string found;
        char line[160];
        for (Spot spot : kFixedSpots) {
            spot.x *= scale;
            spot.y *= scale;
            if (!looksLike(spot)) {
                std::snprintf(line, sizeof line, "%s: %06x\n", spot.what, static_cast<unsigned>(at(spot.x, spot.y)));
                found += line;
            }
        }
        for (TextBox box : kTextBoxes) {
            box = {box.left * scale, box.top * scale, box.right * scale, box.bottom * scale, box.what};
            if (ink(box) <= kLeastInk * scale * scale) found += std::string("no ink for ") + box.what + "\n";
        }
        return found;
    }
};

}  // namespace editorpixels
