// The plug-in as LV2: the UI binary, the same editor as every format's. It
// meets the DSP only through ports: it shows the control values the host sends
// it, writes a knob's new value to its port in the unit the port shows, and
// tells the host when a gesture starts and ends where the host listens.
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "editor/editor.h"
#include "lv2/ports.h"
#include "platform/export.h"
#include "platform/win32.h"

namespace orbelune::lv2adapter {

namespace {

using namespace lv2ports;

struct Ui {
    Editor editor;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* hostResize = nullptr;
    float values[kParamCount] = {};  // 0..1, as the ports last told us or the knobs set them
    float outputLevel = 0.0f;        // as the level port last told us
};

float uiParameter(void* context, int index) { return static_cast<Ui*>(context)->values[index]; }
float uiOutputLevel(void* context) { return static_cast<Ui*>(context)->outputLevel; }

void uiTouch(void* context, int index, bool grabbed) {
    auto* ui = static_cast<Ui*>(context);
    if (ui->touch != nullptr) ui->touch->touch(ui->touch->handle, kFirstControl + static_cast<uint32_t>(index), grabbed);
}
void uiBeginEdit(void* context, int index) { uiTouch(context, index, true); }
void uiEndEdit(void* context, int index) { uiTouch(context, index, false); }

void uiPerformEdit(void* context, int index, float value) {
    auto* ui = static_cast<Ui*>(context);
    ui->values[index] = value;
    const float shown = portValue(index, value);
    ui->write(ui->controller, kFirstControl + static_cast<uint32_t>(index), sizeof(float), 0, &shown);
}

// The editor chose its own size (the screen's density): the host's
// container follows where the host offers to resize it.
void uiResize(void* context, int width, int height) {
    auto* ui = static_cast<Ui*>(context);
    if (ui->hostResize != nullptr) ui->hostResize->ui_resize(ui->hostResize->handle, width, height);
}

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

// The host's scale for plug-in windows, where it gives one with the options
// at instantiation; 0 where it does not.
float hostScaleFactor(const LV2_Feature* const* features) {
    const auto* options = static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options));
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    if (options == nullptr || map == nullptr) return 0.0f;
    const LV2_URID scaleFactor = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    for (; options->key != 0; ++options)
        if (options->key == scaleFactor && options->type == floatType && options->size == sizeof(float) &&
            options->value != nullptr)
            return *static_cast<const float*>(options->value);
    return 0.0f;
}

void cleanup(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    closeEditor(ui->editor);
    countEditorInstanceOut();
    delete ui;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    void* parent = const_cast<void*>(featureData(features, LV2_UI__parent));
    if (parent == nullptr || write == nullptr || widget == nullptr) return nullptr;
    auto* ui = new (std::nothrow) Ui;
    if (ui == nullptr) return nullptr;
    countEditorInstanceIn();
    ui->write = write;
    ui->controller = controller;
    ui->touch = static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch));
    ui->hostResize = static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize));
    for (int index = 0; index < kParamCount; ++index) ui->values[index] = parameterTable[index].defaultValue;
    ui->editor.host = EditorHost{ui, uiParameter, uiOutputLevel, uiBeginEdit, uiPerformEdit, uiEndEdit, uiResize};
    ui->editor.formatName = L"LV2";
    if (const float factor = hostScaleFactor(features); factor > 0.0f) setEditorHostScale(ui->editor, factor);
    if (!openEditor(ui->editor, static_cast<HWND>(parent))) {
        cleanup(ui);
        return nullptr;
    }
    *widget = reinterpret_cast<LV2UI_Widget>(platform::nativeWindowId(ui->editor.window.load(std::memory_order_relaxed)));
    // The size the container needs, whoever chose the scale.
    uiResize(ui, editorWidth(ui->editor), editorHeight(ui->editor));
    return ui;
}

// Control values from the host (automation, a preset, another view) and the
// output level, which drives the glow.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    auto* ui = static_cast<Ui*>(handle);
    if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
    const float value = *static_cast<const float*>(buffer);
    if (port == kLevel) {
        ui->outputLevel = value >= 0.0f && value < 1.0f ? value : 0.0f;
        return;
    }
    const int parameter = parameterOfPort(port);
    if (parameter < 0) return;
    ui->values[parameter] = engineValue(parameter, value);
    requestEditorRepaint(ui->editor);
}

int idle(LV2UI_Handle handle) {
    idleEditor(static_cast<Ui*>(handle)->editor);
    return 0;
}

// The host resized its container (a user's drag): the panel scales to fill it.
int hostResized(LV2UI_Feature_Handle handle, int width, int height) {
    resizeEditor(static_cast<Ui*>(handle)->editor, width, height);
    return 0;
}

const LV2UI_Idle_Interface idleInterface = {idle};
const LV2UI_Resize resizeInterface = {nullptr, hostResized};

const void* extensionData(const char* uri) {
    if (uri == nullptr) return nullptr;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
    if (std::strcmp(uri, LV2_UI__resize) == 0) return &resizeInterface;
    return nullptr;
}

const LV2UI_Descriptor descriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

}  // namespace orbelune::lv2adapter

extern "C" ORBELUNE_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &orbelune::lv2adapter::descriptor : nullptr;
}
