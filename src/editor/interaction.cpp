#include "editor/interaction.h"

#include "core/instance.h"
#include "core/parameters.h"

namespace orbelune {

namespace {

constexpr float kValuePerPixel = 0.005f;  // 200 pixels span the whole range
constexpr float kIdlePhaseStep = 0.035f;  // radians per host idle call
constexpr float kFullTurn = 6.283185f;    // 2π as the phase wraps it

bool dragging(const PluginInstance& instance) { return isParameterIndex(instance.dragParam); }

}  // namespace

const KnobLayoutEntry knobLayout[kKnobCount] = {
    {kParamDecay, 130, 165, 46, L"DECAY TIME", L"%.2fs", 0xFFC084FC},
    {kParamSize, 710, 165, 46, L"ROOM / HALL SIZE", L"%.0f%%", 0xFF38BDF8},
    {kParamDamping, 130, 375, 40, L"VELVET DAMPING", L"%.0f%%", 0xFF34D399},
    {kParamWidth, 320, 375, 40, L"3D SPATIAL WIDTH", L"%.0f%%", 0xFF60A5FA},
    {kParamPreDelay, 510, 375, 40, L"PRE-DELAY", L"%.0f ms", 0xFFF0CB64},
    {kParamMix, 700, 375, 40, L"DRY / WET MIX", L"%.0f%%", 0xFFE0F2FE},
};

int knobAt(int x, int y) {
    for (int knob = 0; knob < kKnobCount; ++knob) {
        const KnobLayoutEntry& entry = knobLayout[knob];
        const int offsetX = x - entry.centreX;
        const int offsetY = y - entry.centreY;
        if (offsetX * offsetX + offsetY * offsetY <= entry.radius * entry.radius) return knob;
    }
    return -1;
}

float dragValue(float startValue, int startY, int y) {
    const float value = startValue + static_cast<float>(startY - y) * kValuePerPixel;
    return clampParameter(value);
}

bool beginDrag(PluginInstance& instance, int x, int y) {
    const int knob = knobAt(x, y);
    if (knob < 0) return false;
    const int param = knobLayout[knob].param;
    instance.dragParam = param;
    instance.dragStartY = y;
    instance.dragStartValue = instance.editorHost.parameter(instance.editorHost.context, param);
    instance.editorHost.beginEdit(instance.editorHost.context, param);
    return true;
}

bool continueDrag(PluginInstance& instance, int y) {
    if (!dragging(instance)) return false;
    const float value = dragValue(instance.dragStartValue, instance.dragStartY, y);
    instance.editorHost.performEdit(instance.editorHost.context, instance.dragParam, value);
    return true;
}

bool endDrag(PluginInstance& instance) {
    if (!dragging(instance)) return false;
    const int param = instance.dragParam;
    instance.dragParam = -1;
    instance.editorHost.endEdit(instance.editorHost.context, param);
    return true;
}

float advancedIdlePhase(float phase) {
    float advanced = phase + kIdlePhaseStep;
    if (advanced > kFullTurn) advanced -= kFullTurn;
    return advanced;
}

}  // namespace orbelune
