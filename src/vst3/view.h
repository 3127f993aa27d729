// The editor as a VST 3 view, on the editor every format shares.
#pragma once

#include "editor/editor.h"
#include "vst3/abi.h"

namespace orbelune::vst3adapter {

// A view of the editor. It holds a reference to `owner` (the object
// that made it) for as long as it lives; `handler` and `context` are where a
// Linux host may offer its run loop when the view's frame does not. While
// attached it puts itself in `attachedView`.
vst3::IPlugView* createEditorView(Editor& editor, vst3::FUnknown* owner, vst3::FUnknown* handler,
                                  vst3::FUnknown* context, vst3::IPlugView** attachedView);
// Asks the host's frame of a view made above for a new size (the editor
// chose another scale); `attachedView` holds the view while it is attached.
void requestViewSize(vst3::IPlugView* view, int width, int height);

}  // namespace orbelune::vst3adapter
