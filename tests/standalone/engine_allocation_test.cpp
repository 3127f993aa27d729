// Processing never touches the heap: this program replaces the global allocation
// functions and counts every call made while blocks are processed, through Size
// sweeps (each one rebuilds the lines on the audio thread), bypass toggles and
// odd block sizes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "unit/test_host.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocationsWhileCounting{0};

void* allocate(std::size_t bytes) {
    if (counting.load(std::memory_order_relaxed)) allocationsWhileCounting.fetch_add(1);
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void* allocateAligned(std::size_t bytes, std::align_val_t alignment) {
    if (counting.load(std::memory_order_relaxed)) allocationsWhileCounting.fetch_add(1);
    const auto align = static_cast<std::size_t>(alignment);
    void* memory = std::aligned_alloc(align, (bytes + align - 1) / align * align);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    try {
        return allocate(bytes);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept { return operator new(bytes, tag); }
void* operator new(std::size_t bytes, std::align_val_t alignment) { return allocateAligned(bytes, alignment); }
void* operator new[](std::size_t bytes, std::align_val_t alignment) { return allocateAligned(bytes, alignment); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }

namespace {

constexpr int kSizeParameter = 1;
constexpr int kBypassParameter = 6;
constexpr int kLargestBlock = 4096;
constexpr int kBlocksPerSize = 40;
constexpr int kSizeSteps = 20;

TEST(Allocation, ProcessingNeverAllocatesThroughSizeSweepsBypassAndOddBlocks) {
    for (float rate : {44100.0f, 96000.0f}) {
        testhost::Instance plugin;
        ASSERT_NE(plugin.get(), nullptr);
        plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, rate);
        std::vector<float> left(kLargestBlock, 0.25f);
        std::vector<float> right(kLargestBlock, -0.25f);
        std::vector<float> outLeft(kLargestBlock);
        std::vector<float> outRight(kLargestBlock);
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        const long before = allocationsWhileCounting.load();

        counting = true;
        int step = 0;
        for (int blockFrames : {1, 7, kLargestBlock, 512}) {
            for (int block = 0; block < kBlocksPerSize; ++block, ++step) {
                // Size from 0 to 1 in twentieths: every processed block rebuilds.
                const float size = static_cast<float>(step % (kSizeSteps + 1)) / kSizeSteps;
                plugin->setParameter(plugin.get(), kSizeParameter, size);
                if (step % 5 == 0) plugin.dispatch(vst::effSetBypass, 0, step % 10 == 0 ? 1 : 0);
                if (step % 7 == 0) plugin->setParameter(plugin.get(), kBypassParameter, step % 14 == 0 ? 1.0f : 0.0f);
                plugin->processReplacing(plugin.get(), inputs, outputs, blockFrames);
                plugin->processReplacing(plugin.get(), inputs, inputs, blockFrames);  // in place
            }
        }
        plugin->processReplacing(plugin.get(), inputs, outputs, 0);
        counting = false;
        EXPECT_EQ(allocationsWhileCounting.load() - before, 0) << rate;
    }
}

}  // namespace
