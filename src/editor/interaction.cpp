#include "editor/interaction.h"

#include "core/parameters.h"
#include "editor/editor.h"

namespace orbelune {

namespace {

constexpr float kValuePerPixel = 0.005f;  // 200 pixels span the whole range
constexpr float kIdlePhaseStep = 0.035f;  // radians per host idle call
constexpr float kFullTurn = 6.283185f;    // 2π as the phase wraps it

bool dragging(const Editor& editor) { return isParameterIndex(editor.dragParam); }

}  // namespace

const KnobLayoutEntry knobLayout[kKnobCount] = {
    {kParamDecay, 130, 165, 46},   {kParamSize, 710, 165, 46},     {kParamDamping, 130, 375, 40},
    {kParamWidth, 320, 375, 40},   {kParamPreDelay, 510, 375, 40}, {kParamMix, 700, 375, 40},
};

int knobAt(float x, float y) {
    for (int knob = 0; knob < kKnobCount; ++knob) {
        const KnobLayoutEntry& entry = knobLayout[knob];
        const float offsetX = x - static_cast<float>(entry.centreX);
        const float offsetY = y - static_cast<float>(entry.centreY);
        if (offsetX * offsetX + offsetY * offsetY <= static_cast<float>(entry.radius * entry.radius)) return knob;
    }
    return -1;
}

float dragValue(float startValue, int startY, int y, float scale) {
    const float value = startValue + static_cast<float>(startY - y) / scale * kValuePerPixel;
    return clampParameter(value);
}

bool beginDrag(Editor& editor, int x, int y) {
    const int knob = knobAt(static_cast<float>(x) / editor.scale, static_cast<float>(y) / editor.scale);
    if (knob < 0) return false;
    const int param = knobLayout[knob].param;
    editor.dragParam = param;
    editor.dragStartY = y;
    editor.dragStartValue = editor.host.parameter(editor.host.context, param);
    editor.host.beginEdit(editor.host.context, param);
    return true;
}

bool continueDrag(Editor& editor, int y) {
    if (!dragging(editor)) return false;
    const float value = dragValue(editor.dragStartValue, editor.dragStartY, y, editor.scale);
    editor.host.performEdit(editor.host.context, editor.dragParam, value);
    return true;
}

bool endDrag(Editor& editor) {
    if (!dragging(editor)) return false;
    const int param = editor.dragParam;
    editor.dragParam = -1;
    editor.host.endEdit(editor.host.context, param);
    return true;
}

float advancedIdlePhase(float phase) {
    float advanced = phase + kIdlePhaseStep;
    if (advanced > kFullTurn) advanced -= kFullTurn;
    return advanced;
}

}  // namespace orbelune
