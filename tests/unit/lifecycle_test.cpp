#include <gtest/gtest.h>

#include "editor/fonts.h"
#include "vst2/instance.h"
#include "unit/test_host.h"

using testhost::Instance;

namespace {

TEST(Lifecycle, NullHostCallbackCreatesNothing) {
    const int before = orbelune::module.instanceCount;
    const ULONG_PTR token = orbelune::module.gdiplusToken;
    EXPECT_EQ(VSTPluginMain(nullptr), nullptr);
    EXPECT_EQ(orbelune::module.instanceCount, before);
    EXPECT_EQ(orbelune::module.gdiplusToken, token);
}

TEST(Lifecycle, HeaderDescribesTheEffect) {
    Instance plugin;
    ASSERT_NE(plugin.get(), nullptr);
    EXPECT_EQ(plugin->magic, 0x56737450);
    EXPECT_EQ(plugin->uniqueID, 0x4F52424C);
    EXPECT_EQ(plugin->version, 1000);
    EXPECT_EQ(plugin->numPrograms, 1);
    EXPECT_EQ(plugin->numParams, 7);
    EXPECT_EQ(plugin->numInputs, 2);
    EXPECT_EQ(plugin->numOutputs, 2);
    EXPECT_EQ(plugin->flags, 17);
    EXPECT_EQ(plugin->initialDelay, 0);
    EXPECT_EQ(plugin->object, static_cast<void*>(plugin.get()));
    EXPECT_EQ(plugin->process, plugin->processReplacing);
    EXPECT_NE(plugin->processReplacing, nullptr);
    EXPECT_EQ(plugin->processDoubleReplacing, nullptr);
    EXPECT_EQ(plugin->resvd1, 0);
    EXPECT_EQ(plugin->user, nullptr);
}

TEST(Lifecycle, GdiplusRunsWhileAnyInstanceLives) {
    ASSERT_EQ(orbelune::module.instanceCount, 0);
    ASSERT_EQ(orbelune::module.gdiplusToken, 0u);
    auto* first = VSTPluginMain(stubhost::hostCallback);
    const ULONG_PTR token = orbelune::module.gdiplusToken;
    EXPECT_NE(token, 0u);
    auto* second = VSTPluginMain(stubhost::hostCallback);
    EXPECT_EQ(orbelune::module.gdiplusToken, token);  // started once
    EXPECT_EQ(orbelune::module.instanceCount, 2);
    // The editor's fonts are registered on first use and go before GDI+ stops.
    Gdiplus::DllExports::GdipDeleteFontFamily(orbelune::findEditorFontFamily(L"Inter"));
    EXPECT_NE(orbelune::module.fontCollection, nullptr);

    testhost::dispatch(first, vst::effClose);
    EXPECT_EQ(orbelune::module.gdiplusToken, token);
    EXPECT_NE(orbelune::module.fontCollection, nullptr);

    testhost::dispatch(second, vst::effClose);
    EXPECT_EQ(orbelune::module.gdiplusToken, 0u);
    EXPECT_EQ(orbelune::module.instanceCount, 0);
    EXPECT_EQ(orbelune::module.fontCollection, nullptr);

    Instance third;
    EXPECT_NE(orbelune::module.gdiplusToken, 0u);
}

TEST(Lifecycle, NewInstanceIsPreparedForDefaults) {
    Instance plugin;
    auto& instance = *orbelune::instanceOf(plugin.get());
    const float defaults[] = {0.45f, 0.6f, 0.4f, 0.85f, 0.15f, 0.35f, 0.0f};
    for (int index = 0; index < 7; ++index) EXPECT_EQ(plugin->getParameter(plugin.get(), index), defaults[index]);
    EXPECT_EQ(instance.plugin.sampleRate, 44100.0);
    const int lengths[] = {1433, 1693, 1973, 2273, 2633, 3049, 3527, 4079};
    for (int line = 0; line < 8; ++line) {
        EXPECT_EQ(instance.plugin.engine.lineLength[line], lengths[line]);
        EXPECT_EQ(instance.plugin.engine.lines[line].size(), static_cast<std::size_t>(lengths[line] + 128));
    }
    EXPECT_EQ(instance.plugin.engine.preDelayLeft.size(), 11025u);
    EXPECT_EQ(instance.plugin.engine.decimation, 88);
    EXPECT_EQ(instance.editorRect.right, 840);
    EXPECT_EQ(instance.editor.dragParam, -1);
    EXPECT_EQ(instance.plugin.engine.rebuildRequested.load(), 0);
}

TEST(Lifecycle, DetachStopsGdiplusAndUnregistersTheClass) {
    auto* orphan = VSTPluginMain(stubhost::hostCallback);  // never closed, as when a host unloads early
    WNDCLASSEXA editorClass{};
    editorClass.cbSize = sizeof editorClass;
    editorClass.lpfnWndProc = orbelune::editorWindowProc;
    editorClass.lpszClassName = orbelune::kEditorClassName;
    if (!orbelune::module.windowClassRegistered) {  // as the first editor's open does
        ASSERT_NE(RegisterClassExA(&editorClass), 0);
        orbelune::module.windowClassRegistered = true;
    }
    orbelune::editorModuleDetach();
    EXPECT_EQ(orbelune::module.gdiplusToken, 0u);
    EXPECT_FALSE(orbelune::module.windowClassRegistered);
    EXPECT_NE(RegisterClassExA(&editorClass), 0) << "the class was left registered";
    UnregisterClassA(orbelune::kEditorClassName, nullptr);
    // Leave the module as a test program expects it.
    testhost::dispatch(orphan, vst::effClose);
}

}  // namespace
