#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "vst2/instance.h"
#include "core/parameters.h"
#include "unit/test_host.h"

using testhost::Instance;

namespace {

std::string displayOf(const Instance& plugin, int index) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(plugin.dispatch(vst::effGetParamDisplay, index, 0, text), 1);
    return text;
}

TEST(Parameters, StoresAreClampedToTheUnitRange) {
    Instance plugin;
    auto set = [&](int index, float value) { plugin->setParameter(plugin.get(), index, value); };
    auto get = [&](int index) { return plugin->getParameter(plugin.get(), index); };

    set(0, 1.7f);
    EXPECT_EQ(get(0), 1.0f);
    set(0, -0.2f);
    EXPECT_EQ(get(0), 0.0f);
    set(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(get(0), 1.0f);
    set(0, -0.0f);
    EXPECT_EQ(get(0), 0.0f);
    EXPECT_FALSE(std::signbit(get(0)));
    set(0, std::numeric_limits<float>::infinity());
    EXPECT_EQ(get(0), 1.0f);
    set(0, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(get(0), 0.0f);
    set(0, 1e-40f);  // a denormal is a valid value above 0
    EXPECT_EQ(get(0), 1e-40f);
}

TEST(Parameters, IndicesOutsideTheSetAreRefused) {
    Instance plugin;
    plugin->setParameter(plugin.get(), 7, 0.9f);
    plugin->setParameter(plugin.get(), -1, 0.9f);
    plugin->setParameter(plugin.get(), INT32_MIN, 0.9f);
    EXPECT_EQ(plugin->getParameter(plugin.get(), 7), 0.0f);
    EXPECT_EQ(plugin->getParameter(plugin.get(), -1), 0.0f);
    for (int index = 0; index < 7; ++index) EXPECT_NE(plugin->getParameter(plugin.get(), index), 0.9f);
    char text[32] = "untouched";
    EXPECT_EQ(plugin.dispatch(vst::effGetParamName, 7, 0, text), 0);
    EXPECT_EQ(plugin.dispatch(vst::effGetParamLabel, -1, 0, text), 0);
    EXPECT_EQ(plugin.dispatch(vst::effGetParamDisplay, 100, 0, text), 0);
    EXPECT_STREQ(text, "untouched");
}

TEST(Parameters, EveryStoreToSizeRequestsARebuild) {
    Instance plugin;
    auto& rebuild = orbelune::instanceOf(plugin.get())->plugin.engine.rebuildRequested;
    plugin->setParameter(plugin.get(), 1, 0.6f);  // unchanged value still asks
    EXPECT_EQ(rebuild.exchange(0), 1);
    plugin->setParameter(plugin.get(), 2, 0.9f);
    plugin->setParameter(plugin.get(), 0, 0.1f);
    EXPECT_EQ(rebuild.load(), 0);
}

TEST(Parameters, NamesAndLabelsAreWrittenWithFixedByteCounts) {
    Instance plugin;
    const char* names[] = {"Decay", "Size", "Damping", "3D Width", "Pre-Delay", "Mix", "Bypass"};
    const char* labels[] = {"s", "%", "%", "%", "ms", "%", ""};
    for (int index = 0; index < 7; ++index) {
        char name[32];
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(plugin.dispatch(vst::effGetParamName, index, 0, name), 1);
        EXPECT_STREQ(name, names[index]);
        for (int byte = static_cast<int>(std::strlen(names[index])); byte < 15; ++byte) EXPECT_EQ(name[byte], 0);
        EXPECT_EQ(name[15], 'x') << "wrote past 15 bytes";

        char label[16];
        std::memset(label, 'x', sizeof label);
        EXPECT_EQ(plugin.dispatch(vst::effGetParamLabel, index, 0, label), 1);
        EXPECT_STREQ(label, labels[index]);
        EXPECT_EQ(label[6], 0);
        EXPECT_EQ(label[7], 'x') << "wrote past 7 bytes";
    }
}

TEST(Parameters, DisplayTextsUseSinglePrecision) {
    Instance plugin;
    const char* defaults[] = {"6.91", "60", "40", "153", "18", "35", "0"};
    for (int index = 0; index < 7; ++index) EXPECT_EQ(displayOf(plugin, index), defaults[index]);

    auto show = [&](int index, float value) {
        plugin->setParameter(plugin.get(), index, value);
        return displayOf(plugin, index);
    };
    EXPECT_EQ(show(0, 0.0f), "0.30");
    EXPECT_EQ(show(0, 1.0f), "15.00");
    EXPECT_EQ(show(0, 0.5f), "7.65");
    EXPECT_EQ(show(3, 1.0f), "180");
    EXPECT_EQ(show(4, 1.0f), "120");
    EXPECT_EQ(show(6, 1.0f), "100");
    EXPECT_EQ(orbelune::displayNumber(0, 0.45f), 6.9149999618530273f);
}

TEST(Parameters, NullObjectIsHarmless) {
    vst::AEffect orphan{};
    orphan.object = nullptr;
    orbelune::setParameter(&orphan, 0, 0.5f);
    EXPECT_EQ(orbelune::getParameter(&orphan, 0), 0.0f);
    EXPECT_EQ(orbelune::getParameter(nullptr, 0), 0.0f);
}

}  // namespace
