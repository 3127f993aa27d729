// Memory exhaustion while an instance is created: the host must get null and the
// module must look as if the call never happened.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "unit/editor_fixture.h"
#include "vst2/instance.h"
#include "unit/test_host.h"

namespace {

std::atomic<long> allocationsLeft{-1};  // -1: never fail
std::atomic<long> liveAllocations{0};

void* allocate(std::size_t bytes) {
    if (allocationsLeft.load() == 0) return nullptr;
    if (allocationsLeft.load() > 0) --allocationsLeft;
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory != nullptr) ++liveAllocations;
    return memory;
}

void release(void* memory) {
    if (memory == nullptr) return;
    --liveAllocations;
    std::free(memory);
}

}  // namespace

void* operator new(std::size_t bytes) {
    if (void* memory = allocate(bytes)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t bytes) { return operator new(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return allocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return allocate(bytes); }
void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }

namespace {

TEST(CreationUnderMemoryFailure, EveryFailingAllocationRollsBackCompletely) {
    int failures = 0;
    bool succeeded = false;
    for (long allowed = 0; !succeeded; ++allowed) {
        ASSERT_LT(allowed, 100) << "creation never succeeded";
        const auto countBefore = orbelune::module.instanceCount;
        const long liveBefore = liveAllocations.load();

        allocationsLeft = allowed;
        vst::AEffect* effect = VSTPluginMain(stubhost::hostCallback);
        allocationsLeft = -1;

        if (effect == nullptr) {
            ++failures;
            EXPECT_EQ(orbelune::module.instanceCount, countBefore) << allowed;
            // A start that had to be undone is matched by a shutdown.
            EXPECT_EQ(orbelune::module.gdiplusToken, 0u) << allowed;
            EXPECT_EQ(liveAllocations.load(), liveBefore) << "leaked after " << allowed << " allocations";
        } else {
            succeeded = true;
            EXPECT_EQ(orbelune::module.instanceCount, countBefore + 1);
            testhost::dispatch(effect, vst::effClose);
            EXPECT_EQ(liveAllocations.load(), liveBefore);
        }
    }
    // The record and the ten buffers can each fail.
    EXPECT_GE(failures, 11);
}

TEST(CreationUnderMemoryFailure, SecondInstanceFailingLeavesTheFirstAndGdiplusAlone) {
    testhost::Instance first;
    const auto token = orbelune::module.gdiplusToken;
    for (long allowed = 0; allowed < 11; ++allowed) {
        allocationsLeft = allowed;
        vst::AEffect* effect = VSTPluginMain(stubhost::hostCallback);
        allocationsLeft = -1;
        ASSERT_EQ(effect, nullptr);
        EXPECT_EQ(orbelune::module.instanceCount, 1);
        EXPECT_EQ(orbelune::module.gdiplusToken, token);  // still running
    }
}

// Forty-odd drawing objects a frame, none kept for the next: each frame makes
// them all again and releases every one before it ends.
TEST(EditorFrame, EverythingCreatedInAFrameIsReleasedInIt) {
    constexpr long kPlenty = 1L << 30;
    editortest::Panel panel;
    const RECT client{0, 0, orbelune::kEditorWidth, orbelune::kEditorHeight};
    const HDC context = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateCompatibleBitmap(context, client.right, client.bottom);
    const HGDIOBJ previous = SelectObject(context, bitmap);
    long made[3], kept[3];
    for (int frame = 0; frame < 3; ++frame) {
        const long live = liveAllocations.load();
        allocationsLeft = kPlenty;
        orbelune::paintEditor(panel.editor(), context, client, client);
        made[frame] = kPlenty - allocationsLeft.exchange(-1);
        kept[frame] = liveAllocations.load() - live;
    }
    SelectObject(context, previous);
    DeleteObject(bitmap);
    DeleteDC(context);
    // The first frame registers the carried fonts for the module.
    EXPECT_EQ(kept[1], 0);
    EXPECT_EQ(kept[2], 0);
    EXPECT_GT(made[1], 40);
    EXPECT_EQ(made[2], made[1]);
    EXPECT_EQ(panel.paint().misses(), "");  // and every object drew
}

TEST(RateChangeUnderMemoryFailure, KeepsThePreviousRateAndItsBuffers) {
    testhost::Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    allocationsLeft = 0;
    plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 192000.0f);
    allocationsLeft = -1;
    EXPECT_EQ(instance.plugin.sampleRate, 44100.0);
    EXPECT_EQ(instance.plugin.engine.lineLength[0], 1433);
    EXPECT_EQ(instance.plugin.engine.preDelayLeft.size(), 11025u);
    EXPECT_EQ(instance.plugin.engine.decimation, 88);

    plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 192000.0f);
    EXPECT_EQ(instance.plugin.sampleRate, 192000.0);
}

}  // namespace
