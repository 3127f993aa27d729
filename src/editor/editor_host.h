// How the editor reaches its host, whatever the plug-in format: it reads the
// values and the output level it shows, wraps each knob gesture in a begin,
// the new values and an end, and asks for a new window size. Each format adapter answers these in its
// own terms; all of them run on the host's user-interface thread.
#pragma once

namespace orbelune {

struct EditorHost {
    void* context = nullptr;
    float (*parameter)(void* context, int index) = nullptr;
    float (*outputLevel)(void* context) = nullptr;
    void (*beginEdit)(void* context, int index) = nullptr;
    void (*performEdit)(void* context, int index, float value) = nullptr;
    void (*endEdit)(void* context, int index) = nullptr;
    // The editor changed its own size (a new scale): the host's window should
    // follow. Null where the format has no way to ask.
    void (*resize)(void* context, int width, int height) = nullptr;
};

}  // namespace orbelune
