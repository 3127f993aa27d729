#include "vst3/view.h"

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <new>

#include "editor/editor.h"
#include "platform/win32.h"

namespace orbelune::vst3adapter {

namespace {

using namespace vst3;

#if defined(_WIN32)
constexpr const char* kPlatformType = "HWND";
constexpr UINT_PTR kIdleTimer = 1;
#else
constexpr const char* kPlatformType = "X11EmbedWindowID";
#endif
// VST 3 hosts make no idle calls: the editor animates on a timer of its own
// (Windows) or of the host's run loop (Linux), at about 33 frames a second.
constexpr unsigned kIdleMilliseconds = 30;

class EditorView final : public IPlugView,
                         public IPlugViewContentScaleSupport
#if !defined(_WIN32)
    ,
                         public ITimerHandler,
                         public IEventHandler
#endif
{
  public:
    EditorView(Editor& editor, FUnknown* owner, FUnknown* handler, FUnknown* context, IPlugView** attachedView)
        : editor_(editor), owner_(owner), handler_(handler), context_(context), attachedView_(attachedView) {
        owner_->addRef();
    }
    EditorView(const EditorView&) = delete;
    EditorView& operator=(const EditorView&) = delete;

    tresult queryInterface(const TUID iid, void** object) override {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (sameUid(iid, kFUnknownIid) || sameUid(iid, kIPlugViewIid)) *object = static_cast<IPlugView*>(this);
        else if (sameUid(iid, kIPlugViewContentScaleSupportIid))
            *object = static_cast<IPlugViewContentScaleSupport*>(this);
#if !defined(_WIN32)
        else if (sameUid(iid, kITimerHandlerIid))
            *object = static_cast<ITimerHandler*>(this);
        else if (sameUid(iid, kIEventHandlerIid))
            *object = static_cast<IEventHandler*>(this);
#endif
        if (*object == nullptr) return kNoInterface;
        addRef();
        return kResultOk;
    }
    uint32 addRef() override { return references_.add(); }
    uint32 release() override {
        const uint32 left = references_.drop();
        if (left == 0) delete this;
        return left;
    }

    tresult isPlatformTypeSupported(FIDString type) override {
        return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
    }
    tresult attached(void* parent, FIDString type) override {
        if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue || window_ != nullptr) return kResultFalse;
        // Attached first, so a size the editor finds on opening (the screen's
        // density, where the host gives no factor) reaches the host's frame.
        *attachedView_ = this;
        if (!openEditor(editor_, static_cast<HWND>(parent))) {
            *attachedView_ = nullptr;
            return kResultFalse;
        }
        window_ = editor_.window.load(std::memory_order_relaxed);
#if defined(_WIN32)
        SetTimer(window_, kIdleTimer, kIdleMilliseconds, nullptr);
#else
        runLoop_ = findRunLoop();
        if (runLoop_ != nullptr) {
            runLoop_->registerTimer(this, kIdleMilliseconds);
            const int descriptor = platform::windowEventDescriptor(window_);
            if (descriptor >= 0) runLoop_->registerEventHandler(this, descriptor);
        }
#endif
        return kResultOk;
    }
    tresult removed() override {
        if (window_ == nullptr) return kResultFalse;
#if defined(_WIN32)
        if (IsWindow(window_)) KillTimer(window_, kIdleTimer);
#else
        // Before the window and its connection go, so no handler runs on them.
        if (runLoop_ != nullptr) {
            runLoop_->unregisterTimer(this);
            runLoop_->unregisterEventHandler(this);
            runLoop_->release();
            runLoop_ = nullptr;
        }
#endif
        if (editor_.window.load(std::memory_order_relaxed) == window_) closeEditor(editor_);
        window_ = nullptr;
        if (*attachedView_ == this) *attachedView_ = nullptr;
        return kResultOk;
    }
    // Keys and the wheel go back to the host, whose shortcuts keep working.
    tresult onWheel(float) override { return kResultFalse; }
    tresult onKeyDown(char16, int16, int16) override { return kResultFalse; }
    tresult onKeyUp(char16, int16, int16) override { return kResultFalse; }
    tresult getSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        *size = currentSize();
        return kResultOk;
    }
    // The host's window has its new size: the panel scales to fill it.
    tresult onSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        resizeEditor(editor_, size->right - size->left, size->bottom - size->top);
        return kResultTrue;
    }
    tresult onFocus(TBool) override { return kResultOk; }
    tresult setFrame(IPlugFrame* frame) override {
        frame_ = frame;
        return kResultOk;
    }
    tresult canResize() override { return kResultTrue; }
    // The nearest size of the panel's shape within its scales.
    tresult checkSizeConstraint(ViewRect* rect) override {
        if (rect == nullptr) return kInvalidArgument;
        int width = rect->right - rect->left;
        int height = rect->bottom - rect->top;
        constrainEditorSize(width, height);
        rect->right = rect->left + width;
        rect->bottom = rect->top + height;
        return kResultTrue;
    }

    // The host's factor is the whole scale. Before the view is attached it
    // only sets the size getSize reports; after, the host's frame is asked
    // for the new size, which arrives through onSize.
    tresult setContentScaleFactor(float factor) override {
        if (!(factor > 0.0f)) return kResultFalse;
        setEditorHostScale(editor_, factor);
        return kResultTrue;
    }

    // The editor's own new size, for the host's frame.
    void requestSize(int width, int height) {
        if (frame_ == nullptr || resizing_) return;
        ViewRect wanted{0, 0, width, height};
        resizing_ = true;
        frame_->resizeView(this, &wanted);
        resizing_ = false;
    }

#if !defined(_WIN32)
    void onTimer() override { idleEditor(editor_); }
    void onFDIsSet(int) override {
        if (window_ != nullptr) platform::deliverWindowEvents(window_);
    }
#endif

  private:
    ~EditorView() {
        removed();
        owner_->release();
    }

    ViewRect currentSize() const { return ViewRect{0, 0, editorWidth(editor_), editorHeight(editor_)}; }

#if !defined(_WIN32)
    // The frame offers the run loop; some hosts offer it on the component
    // handler or on their own context instead.
    IRunLoop* findRunLoop() {
        for (FUnknown* candidate : {static_cast<FUnknown*>(frame_), handler_, context_}) {
            void* found = nullptr;
            if (candidate != nullptr && candidate->queryInterface(kIRunLoopIid.bytes, &found) == kResultOk &&
                found != nullptr)
                return static_cast<IRunLoop*>(found);
        }
        return nullptr;
    }
    IRunLoop* runLoop_ = nullptr;
#endif

    ReferenceCount references_;
    Editor& editor_;
    FUnknown* owner_;
    FUnknown* handler_;
    FUnknown* context_;
    IPlugFrame* frame_ = nullptr;
    HWND window_ = nullptr;
    IPlugView** attachedView_;  // where the owner finds the view it may ask to resize
    bool resizing_ = false;
};

}  // namespace

IPlugView* createEditorView(Editor& editor, FUnknown* owner, FUnknown* handler, FUnknown* context,
                            IPlugView** attachedView) {
    return new (std::nothrow) EditorView(editor, owner, handler, context, attachedView);
}

void requestViewSize(IPlugView* view, int width, int height) {
    static_cast<EditorView*>(view)->requestSize(width, height);
}

}  // namespace orbelune::vst3adapter
