// The seven parameters: one row each that every format, the editor's knobs and
// the renderer's command line read, and the conversions between a 0..1 value
// and what the plug-in shows. Plain data and arithmetic, no instance.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine_state.h"

namespace orbelune {

// What a parameter's shown number measures, for formats that publish units.
enum class ParameterUnit { seconds, milliseconds, percent, toggle };

struct ParameterInfo {
    const char* name;
    const char* label;    // the unit as texts show it
    const char* symbol;   // for formats that name ports: lower case, no spaces
    ParameterUnit unit;
    float displayScale;   // shown value = displayScale·v + displayOffset, in single precision
    float displayOffset;  // only "Decay" has one
    int displayDecimals;  // 2 for "Decay", 0 for the rest
    float defaultValue;
    bool toggle;          // "Bypass": off or on, for formats with stepped parameters
    // The editor's knob: its caption, the printf format of its value text and
    // its accent colour (ARGB); no caption for a parameter without a knob.
    const char* knobCaption;
    const char* knobValueFormat;
    std::uint32_t knobColour;
};

extern const ParameterInfo parameterTable[kParamCount];

// Index checks compare unsigned, so negative indices are refused as well.
inline bool isParameterIndex(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kParamCount);
}

// Values outside 0..1 are clamped; NaN stores 1 and negative zero stores 0.
float clampParameter(float value);
// A stepped format's 0..1 value of a toggle: on from one half, as those hosts
// round a two-step parameter. Other parameters pass through the clamp.
float steppedValue(int index, double value);
// The number a display shows for a value, computed in single precision: the
// default "Decay" of 0.45 shows 6.91 because 14.7·0.45 + 0.3 rounds to 6.9149999.
float displayNumber(int index, float value);

// Host texts with the fixed byte counts hosts rely on: 15 bytes for a name, 7 for a
// label, at most 15 (with the terminating zero) for a display text.
constexpr std::size_t kParamNameBytes = 15;
constexpr std::size_t kParamLabelBytes = 7;
constexpr std::size_t kParamDisplayBytes = 15;
void writeParameterName(int index, char* destination);
void writeParameterLabel(int index, char* destination);
// The display text of any value, in the same bytes.
void formatParameterValue(int index, float value, char* destination);
// The 0..1 value whose display shows `shown` (clamped into the range), and
// the same before the clamp.
float valueFromShown(int index, double shown);
double unclampedFromShown(int index, double shown);
// A typed display text ("6.91", "40 ms") back to its 0..1 value. False, with
// `value` untouched, for text that is not a number or lies outside the range.
bool parseParameterText(int index, const char* text, float& value);

}  // namespace orbelune
