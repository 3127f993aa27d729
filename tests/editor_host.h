// What our editor host programs (the Linux plug-in under X, the Windows DLL
// under Wine) share besides the stub host: the pixels of the panel whose
// colours are fixed, with boxes where its texts must leave ink. Both pictures
// are held to them, so they agree where it matters.
#pragma once

#include <cstdint>

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

}  // namespace editorpixels
