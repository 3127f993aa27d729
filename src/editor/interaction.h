// The editor's knobs and what the mouse and the host's idle calls do to an
// editor, in plain arithmetic on its fields: nothing here touches
// the window system, so it runs and is tested the same on every platform.
#pragma once

#include <cstdint>

namespace orbelune {

struct Editor;

// One rotary knob of the panel: the parameter it sets and its circle in client
// pixels. Its caption, value format and colour are the parameter's.
struct KnobLayoutEntry {
    int param;
    int centreX;
    int centreY;
    int radius;
};

constexpr int kKnobCount = 6;  // "Bypass" has no knob
extern const KnobLayoutEntry knobLayout[kKnobCount];

// The index into knobLayout of the first knob whose circle holds the point of
// the panel's coordinates (the circle's edge included), or -1.
int knobAt(float x, float y);

// The value a drag reaches at pointer height y (window pixels): 0.005 per
// panel unit moved up from the press, a unit being `scale` pixels, in single
// precision, clamped to 0..1.
float dragValue(float startValue, int startY, int y, float scale = 1.0f);

// Pointer positions below are the window's pixels at the editor's scale.
// A left-button press: starts a drag when it lands on a knob. True when it did,
// so the caller captures the mouse.
bool beginDrag(Editor& editor, int x, int y);
// A pointer move: during a drag, stores the value, raises the rebuild request
// for "Size" and reports the value to the host as automation. True when a drag
// step ran, so the caller repaints.
bool continueDrag(Editor& editor, int y);
// Ends a drag. True when one was running, so the caller releases the mouse.
bool endDrag(Editor& editor);

// The animation phase after one idle call: 0.035 radians on, wrapped past 2π.
float advancedIdlePhase(float phase);

}  // namespace orbelune
