// The parameter table and the conversions between values and what the plug-in
// shows: plain data and arithmetic, which the renderer's presets share too.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/parameters.h"

namespace orbelune {

const ParameterInfo parameterTable[kParamCount] = {
    {"Decay", "s", 14.7f, 0.3f, 2, 0.45f},      // 0.30 to 15.00 seconds
    {"Size", "%", 100.0f, 0.0f, 0, 0.6f},
    {"Damping", "%", 100.0f, 0.0f, 0, 0.4f},
    {"3D Width", "%", 180.0f, 0.0f, 0, 0.85f},  // 0 to 180 percent
    {"Pre-Delay", "ms", 120.0f, 0.0f, 0, 0.15f},  // 0 to 120 milliseconds
    {"Mix", "%", 100.0f, 0.0f, 0, 0.35f},
    {"Bypass", "", 100.0f, 0.0f, 0, 0.0f},
};

float clampParameter(float value) {
    // Written so that NaN, which is not below 1, ends up as 1.
    if (value < 1.0f) return value > 0.0f ? value : 0.0f;
    return 1.0f;
}

float displayNumber(int index, float value) {
    const ParameterInfo& info = parameterTable[index];
    const float scaled = info.displayScale * value;
    if (info.displayOffset == 0.0f) return scaled;
    return scaled + info.displayOffset;
}

void formatParameterValue(int index, float value, char* destination) {
    const double shown = static_cast<double>(displayNumber(index, value));
    std::snprintf(destination, kParamDisplayBytes, "%.*f", parameterTable[index].displayDecimals, shown);
}

double unclampedFromShown(int index, double shown) {
    const ParameterInfo& info = parameterTable[index];
    return (shown - static_cast<double>(info.displayOffset)) / static_cast<double>(info.displayScale);
}

float valueFromShown(int index, double shown) { return clampParameter(static_cast<float>(unclampedFromShown(index, shown))); }

bool parseParameterText(int index, const char* text, float& value) {
    if (text == nullptr) return false;
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (end == text || !std::isfinite(number)) return false;
    // The unit the display shows may follow the number, as a user types it.
    while (*end == ' ') ++end;
    const char* label = parameterTable[index].label;
    if (*label != '\0' && std::strncmp(end, label, std::strlen(label)) == 0) end += std::strlen(label);
    while (*end == ' ') ++end;
    if (*end != '\0') return false;
    const ParameterInfo& info = parameterTable[index];
    const double normalized = unclampedFromShown(index, number);
    // Half a step of the display either side of the range still reads as its end.
    const double tolerance = 0.5 * std::pow(10.0, -info.displayDecimals) / static_cast<double>(info.displayScale);
    if (normalized < -tolerance || normalized > 1.0 + tolerance) return false;
    value = clampParameter(static_cast<float>(normalized));
    return true;
}

}  // namespace orbelune
