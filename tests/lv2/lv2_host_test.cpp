// The LV2 bundle as hosts see it, through lilv: its ports, units, ranges and
// defaults, its presets, and its sound held bit for bit to the VST 2 build's
// at the same 0..1 values.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/presets.h"
#include "lv2/ports.h"
#include "support/format_equivalence.h"
#include "vst2/aeffect.h"

namespace {

using namespace orbelune;
using namespace orbelune::lv2ports;

constexpr int kBlock = 300;

struct World {
    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;
    World() {
        lilv_world_load_specifications(world);
        lilv_world_load_plugin_classes(world);
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, ORBELUNE_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~World() { lilv_world_free(world); }
    LilvNode* uri(const char* text) const { return lilv_new_uri(world, text); }
};

World& world() {
    static World loaded;
    return loaded;
}

TEST(Lv2Description, PortsCarryTheUnitsRangesAndDefaultsOfTheParameterTable) {
    ASSERT_NE(world().plugin, nullptr);
    const LilvPlugin* plugin = world().plugin;
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), kPortCount);
    LilvNode* unitPredicate = world().uri("http://lv2plug.in/ns/extensions/units#unit");
    const char* units[] = {"s", "pc", "pc", "pc", "ms", "pc"};
    for (int parameter = 0; parameter < kParamBypass; ++parameter) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, kFirstControl + parameter);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), parameterTable[parameter].symbol);
        LilvNode* defaultValue = nullptr;
        LilvNode* minimum = nullptr;
        LilvNode* maximum = nullptr;
        lilv_port_get_range(plugin, port, &defaultValue, &minimum, &maximum);
        // The default reaches the engine as exactly the other formats' default.
        EXPECT_EQ(valueFromShown(parameter, lilv_node_as_float(defaultValue)), parameterTable[parameter].defaultValue)
            << parameterTable[parameter].symbol;
        EXPECT_EQ(lilv_node_as_float(minimum), displayNumber(parameter, 0.0f));
        EXPECT_EQ(lilv_node_as_float(maximum), displayNumber(parameter, 1.0f));
        LilvNodes* unit = lilv_port_get_value(plugin, port, unitPredicate);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(std::string(lilv_node_as_uri(lilv_nodes_get_first(unit))),
                  std::string("http://lv2plug.in/ns/extensions/units#") + units[parameter]);
        lilv_nodes_free(unit);
        lilv_node_free(defaultValue);
        lilv_node_free(minimum);
        lilv_node_free(maximum);
    }
    LilvNode* enabled = world().uri(LILV_NS_LV2 "enabled");
    LilvNode* input = world().uri(LILV_NS_LV2 "InputPort");
    const LilvPort* bypass = lilv_plugin_get_port_by_designation(plugin, input, enabled);
    ASSERT_NE(bypass, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, bypass), kEnabled);
    lilv_node_free(enabled);
    lilv_node_free(input);
    lilv_node_free(unitPredicate);
}

TEST(Lv2Description, PresetsGiveTheTableValuesExactly) {
    LilvNode* presetClass = world().uri("http://lv2plug.in/ns/ext/presets#Preset");
    LilvNode* label = world().uri("http://www.w3.org/2000/01/rdf-schema#label");
    LilvNode* portPredicate = world().uri(LILV_NS_LV2 "port");
    LilvNode* symbolPredicate = world().uri(LILV_NS_LV2 "symbol");
    LilvNode* valuePredicate = world().uri("http://lv2plug.in/ns/ext/presets#value");
    LilvNodes* presets = lilv_plugin_get_related(world().plugin, presetClass);
    int found = 0;
    LILV_FOREACH(nodes, item, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, item);
        lilv_world_load_resource(world().world, preset);
        LilvNode* name = lilv_world_get(world().world, preset, label, nullptr);
        const Preset* table = findPreset(lilv_node_as_string(name));
        ASSERT_NE(table, nullptr) << lilv_node_as_string(name);
        ++found;
        LilvNodes* ports = lilv_world_find_nodes(world().world, preset, portPredicate, nullptr);
        int values = 0;
        LILV_FOREACH(nodes, portItem, ports) {
            const LilvNode* port = lilv_nodes_get(ports, portItem);
            LilvNode* symbol = lilv_world_get(world().world, port, symbolPredicate, nullptr);
            LilvNode* value = lilv_world_get(world().world, port, valuePredicate, nullptr);
            const std::string text = lilv_node_as_string(symbol);
            const float portValue = lilv_node_as_float(value);
            for (int parameter = 0; parameter < kParamBypass; ++parameter)
                if (text == parameterTable[parameter].symbol) {
                    EXPECT_EQ(valueFromShown(parameter, portValue), table->values[parameter]) << table->name << " " << text;
                    ++values;
                }
            if (text == "enabled") {
                EXPECT_EQ(portValue, 1.0f);
            }
            lilv_node_free(symbol);
            lilv_node_free(value);
        }
        EXPECT_EQ(values, kParamBypass);
        lilv_nodes_free(ports);
        lilv_node_free(name);
    }
    EXPECT_EQ(found, kPresetCount);
    lilv_nodes_free(presets);
    for (LilvNode* node : {presetClass, label, portPredicate, symbolPredicate, valuePredicate}) lilv_node_free(node);
}

// Port values in the units they show, changed between runs as hosts split a
// run at a control change, against the VST 2 build given the same 0..1 values
// at the same frames: a changed "Size", the enable switch, runs of no frames,
// and a rate above the range.
TEST(Lv2Sound, EqualsTheVst2BuildBitForBit) {
    void* module = dlopen(ORBELUNE_PLUGIN_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(module, "VSTPluginMain"));
    for (const double rate : {48000.0, 1.0e7}) {
        vst::AEffect* effect = entry(stubhost::hostCallback);
        effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        LilvInstance* instance = lilv_plugin_instantiate(world().plugin, rate, nullptr);
        ASSERT_NE(instance, nullptr);
        float controls[kPortCount] = {};
        for (int parameter = 0; parameter < kParamCount; ++parameter)
            controls[kFirstControl + parameter] = portValue(parameter, parameterTable[parameter].defaultValue);
        for (std::uint32_t port = kFirstControl; port < kPortCount; ++port)
            lilv_instance_connect_port(instance, port, &controls[port]);
        lilv_instance_activate(instance);

        auto runLv2 = [&](float* left, float* right, const equivalence::Block& block) {
            int done = 0;
            auto runTo = [&](int frame) {
                if (frame <= done) return;
                for (std::uint32_t port : {kInputLeft, kOutputLeft}) lilv_instance_connect_port(instance, port, left + done);
                for (std::uint32_t port : {kInputRight, kOutputRight})
                    lilv_instance_connect_port(instance, port, right + done);
                lilv_instance_run(instance, static_cast<std::uint32_t>(frame - done));
                done = frame;
            };
            for (const equivalence::Change& change : block.changes) {
                runTo(change.frame);
                controls[kFirstControl + change.index] = portValue(change.index, change.value);
            }
            runTo(block.frames);
            if (block.frames == 0) lilv_instance_run(instance, 0);
            EXPECT_TRUE(controls[kLevel] >= 0.0f && controls[kLevel] < 1.0f);
        };
        EXPECT_EQ(equivalence::firstDifferentBlock(effect, equivalence::automationScenario(kBlock), runLv2), -1)
            << rate;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    }
    dlclose(module);
}

}  // namespace
