// The parameter table and the conversions between values and what the plug-in
// shows: plain data and arithmetic, which the renderer's presets share too.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/parameters.h"

namespace orbelune {

const ParameterInfo parameterTable[kParamCount] = {
    // 0.30 to 15.00 seconds
    {"Decay", "s", "decay", ParameterUnit::seconds, 14.7f, 0.3f, 2, 0.45f, false, "DECAY TIME", "%.2fs", 0xFFC084FC},
    {"Size", "%", "size", ParameterUnit::percent, 100.0f, 0.0f, 0, 0.6f, false, "ROOM / HALL SIZE", "%.0f%%",
     0xFF38BDF8},
    {"Damping", "%", "damping", ParameterUnit::percent, 100.0f, 0.0f, 0, 0.4f, false, "VELVET DAMPING", "%.0f%%",
     0xFF34D399},
    // 0 to 180 percent
    {"3D Width", "%", "width", ParameterUnit::percent, 180.0f, 0.0f, 0, 0.85f, false, "3D SPATIAL WIDTH", "%.0f%%",
     0xFF60A5FA},
    // 0 to 120 milliseconds
    {"Pre-Delay", "ms", "predelay", ParameterUnit::milliseconds, 120.0f, 0.0f, 0, 0.15f, false, "PRE-DELAY",
     "%.0f ms", 0xFFF0CB64},
    {"Mix", "%", "mix", ParameterUnit::percent, 100.0f, 0.0f, 0, 0.35f, false, "DRY / WET MIX", "%.0f%%", 0xFFE0F2FE},
    // Shown as 0 to 100 like the others, though hosts of stepped formats offer it as a switch.
    {"Bypass", "", "bypass", ParameterUnit::toggle, 100.0f, 0.0f, 0, 0.0f, true, nullptr, nullptr, 0},
};

float clampParameter(float value) {
    // Written so that NaN, which is not below 1, ends up as 1.
    if (value < 1.0f) return value > 0.0f ? value : 0.0f;
    return 1.0f;
}

float steppedValue(int index, double value) {
    if (parameterTable[index].toggle) return value >= 0.5 ? 1.0f : 0.0f;
    return clampParameter(static_cast<float>(value));
}

float displayNumber(int index, float value) {
    const ParameterInfo& info = parameterTable[index];
    const float scaled = info.displayScale * value;
    if (info.displayOffset == 0.0f) return scaled;
    return scaled + info.displayOffset;
}

void writeParameterName(int index, char* destination) {
    std::strncpy(destination, parameterTable[index].name, kParamNameBytes);
}

void writeParameterLabel(int index, char* destination) {
    std::strncpy(destination, parameterTable[index].label, kParamLabelBytes);
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
