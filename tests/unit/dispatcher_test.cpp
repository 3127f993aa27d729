#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "vst2/dispatcher.h"
#include "vst2/instance.h"
#include "unit/test_host.h"

using testhost::Instance;

namespace {

// Fills a buffer with a marker so that any byte written shows.
struct MarkedBuffer {
    char bytes[80];
    MarkedBuffer() { std::memset(bytes, 'x', sizeof bytes); }
    int written() const {
        int count = 0;
        for (char byte : bytes) count += byte != 'x';
        return count;
    }
};

TEST(Dispatcher, NameStringsAreExactly31Bytes) {
    Instance plugin;
    const struct {
        vst::int32 opcode;
        const char* text;
    } names[] = {{vst::effGetEffectName, "Drevon Orbelune"},
                 {vst::effGetVendorString, "Drevon Audio Technologies"},
                 {vst::effGetProductString, "Drevon Orbelune 3D Reverb"}};
    for (const auto& name : names) {
        MarkedBuffer buffer;
        EXPECT_EQ(plugin.dispatch(name.opcode, 0, 0, buffer.bytes), 1);
        EXPECT_STREQ(buffer.bytes, name.text);
        for (int byte = static_cast<int>(std::strlen(name.text)); byte < 31; ++byte) EXPECT_EQ(buffer.bytes[byte], 0);
        EXPECT_EQ(buffer.bytes[31], 'x');
    }
}

TEST(Dispatcher, IdentityQueries) {
    Instance plugin;
    EXPECT_EQ(plugin.dispatch(vst::effGetPlugCategory), 1);
    EXPECT_EQ(plugin.dispatch(vst::effGetVendorVersion), 1000);
    EXPECT_EQ(plugin.dispatch(vst::effOpen), 0);
    EXPECT_EQ(plugin.dispatch(vst::effGetVstVersion), 0);
    EXPECT_EQ(plugin.dispatch(vst::effGetTailSize), 0);
}

TEST(Dispatcher, CanDoIsExactAndCaseSensitive) {
    Instance plugin;
    auto canDo = [&](const char* text) { return plugin.dispatch(vst::effCanDo, 0, 0, const_cast<char*>(text)); };
    EXPECT_EQ(canDo("hasCockosExtensions"), static_cast<vst::intptr>(3203334144LL));
    EXPECT_GT(canDo("hasCockosExtensions"), 0);
    EXPECT_EQ(canDo("1in2out"), 1);
    EXPECT_EQ(canDo("2in2out"), 1);
    EXPECT_EQ(canDo("2In2Out"), 0);
    EXPECT_EQ(canDo("hascockosextensions"), 0);
    EXPECT_EQ(canDo("2in2out "), 0);
    EXPECT_EQ(canDo(""), 0);
    EXPECT_EQ(canDo("receiveVstEvents"), 0);
}

TEST(Dispatcher, UnlistedOpcodesDoNothing) {
    Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    const double rate = instance.plugin.sampleRate;
    for (vst::int32 opcode : {-10, -1, 2, 3, 4, 5, 9, 11, 12, 16, 17, 18, 20, 23, 24, 25, 34, 36, 43, 46, 50, 52, 58,
                              80, std::numeric_limits<vst::int32>::max(), std::numeric_limits<vst::int32>::min()}) {
        MarkedBuffer buffer;
        EXPECT_EQ(plugin.dispatch(opcode, 0, 1, buffer.bytes, 48000.0f), 0) << opcode;
        EXPECT_EQ(buffer.written(), 0) << opcode;
    }
    EXPECT_EQ(instance.plugin.sampleRate, rate);
    EXPECT_EQ(instance.plugin.hostBypass.load(), 0);
}

TEST(Dispatcher, NullPointerForAnyTextOrQueryReturnsZero) {
    Instance plugin;
    for (vst::int32 opcode : {vst::effGetParamLabel, vst::effGetParamDisplay, vst::effGetParamName,
                              vst::effGetEffectName, vst::effGetVendorString, vst::effGetProductString, vst::effCanDo,
                              vst::effEditGetRect}) {
        EXPECT_EQ(plugin.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
}

TEST(Dispatcher, NullObjectOrEffectAnswersZero) {
    vst::AEffect orphan{};
    char buffer[64] = {};
    EXPECT_EQ(orbelune::dispatcher(&orphan, vst::effGetEffectName, 0, 0, buffer, 0.0f), 0);
    EXPECT_EQ(orbelune::dispatcher(nullptr, vst::effGetVendorVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST(Dispatcher, BypassFollowsTheValue) {
    Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    EXPECT_EQ(plugin.dispatch(vst::effSetBypass, 0, 2), 1);
    EXPECT_EQ(instance.plugin.hostBypass.load(), 1);
    EXPECT_EQ(plugin.dispatch(vst::effSetBypass, 0, 0), 1);
    EXPECT_EQ(instance.plugin.hostBypass.load(), 0);
    EXPECT_EQ(plugin.dispatch(vst::effSetBypass, 0, -1), 1);
    EXPECT_EQ(instance.plugin.hostBypass.load(), 1);
}

TEST(Dispatcher, SampleRateFallsBackAndClamps) {
    Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    auto rateAfter = [&](float requested) {
        plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, requested);
        return instance.plugin.sampleRate;
    };
    EXPECT_EQ(rateAfter(48000.0f), 48000.0);
    EXPECT_EQ(rateAfter(0.0f), 44100.0);
    EXPECT_EQ(rateAfter(-96000.0f), 44100.0);
    EXPECT_EQ(rateAfter(std::numeric_limits<float>::quiet_NaN()), 44100.0);
    EXPECT_EQ(rateAfter(4000.0f), 8000.0);
    EXPECT_EQ(rateAfter(0.5f), 8000.0);
    EXPECT_EQ(instance.plugin.engine.decimation, 16);
}

TEST(Dispatcher, AbsurdSampleRatesLeaveAWorkingInstance) {
    Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    for (float absurd : {std::numeric_limits<float>::infinity(), 3e38f, 1e10f, 8.6e9f}) {
        plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, absurd);
        EXPECT_EQ(instance.plugin.sampleRate, 1536000.0) << absurd;
        EXPECT_EQ(instance.plugin.engine.preDelayLeft.size(), 384000u);
        for (int line = 0; line < 8; ++line) {
            EXPECT_GT(instance.plugin.engine.lineLength[line], 0);
            EXPECT_EQ(instance.plugin.engine.lines[line].size(),
                      static_cast<std::size_t>(instance.plugin.engine.lineLength[line] + 128));
        }
    }
    plugin.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    EXPECT_EQ(instance.plugin.engine.lineLength[0], 1433);
}

TEST(Dispatcher, EditorOpcodesWithoutAWindow) {
    Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    vst::ERect* rect = nullptr;
    EXPECT_EQ(plugin.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(rect, &instance.editorRect);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 520);
    EXPECT_EQ(rect->right, 840);
    // A Linux host hands over an X11 window id; with no display to find it on,
    // the editor reports that it cannot open.
    const char* display = std::getenv("DISPLAY");
    const std::string kept = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    EXPECT_EQ(plugin.dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(0x3a00007)), 0);
    if (display != nullptr) setenv("DISPLAY", kept.c_str(), 1);
    EXPECT_EQ(instance.editor.window.load(), nullptr);
    EXPECT_EQ(plugin.dispatch(vst::effEditClose), 1);
    EXPECT_EQ(plugin.dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(instance.editor.idlePhase, 0.0f);
}

}  // namespace
