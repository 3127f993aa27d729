// Writes the LV2 bundle's description from the parameter and preset tables,
// so the ports' ranges, defaults and presets can never disagree with the
// plug-in: manifest.ttl, Drevon_Orbelune.ttl and presets.ttl into the folder
// given.
//
//   orbelune-lv2-ttl BUNDLE_DIRECTORY
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/identity.h"
#include "core/parameters.h"
#include "core/presets.h"
#include "lv2/ports.h"

namespace {

using namespace orbelune;
using namespace orbelune::lv2ports;

const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

// The shortest decimal text that reads back as exactly `value`.
std::string floatText(float value) {
    char text[64];
    for (int decimals = 1; decimals <= 12; ++decimals) {
        std::snprintf(text, sizeof(text), "%.*f", decimals, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::string result = text;
    while (result.size() > 2 && result.back() == '0' && result[result.size() - 2] != '.') result.pop_back();
    return result;
}

// The shortest decimal text that a host, reading it as a port's float, turns
// back into exactly `value` of the parameter: defaults and presets then reach
// the engine bit for bit as the other formats hand them.
std::string portText(int parameter, float value) {
    // The shown number itself may fall between floats that miss, so its
    // neighbours are tried too, and the shortest text among the hits is kept.
    const float shown = displayNumber(parameter, value);
    std::string best;
    for (const float direction : {1e9f, -1e9f}) {
        float candidate = shown;
        for (int step = 0; step <= 64; ++step, candidate = std::nextafter(candidate, direction)) {
            if (valueFromShown(parameter, candidate) != value) continue;
            const std::string text = floatText(candidate);
            if (best.empty() || text.size() < best.size()) best = text;
        }
    }
    if (best.empty()) {
        std::fprintf(stderr, "orbelune-lv2-ttl: no port value gives %.9g for %s\n", value, parameterTable[parameter].name);
        std::exit(1);
    }
    return best;
}

const char* unitOf(int parameter) {
    switch (parameterTable[parameter].unit) {
        case ParameterUnit::seconds: return "units:s";
        case ParameterUnit::milliseconds: return "units:ms";
        default: return "units:pc";
    }
}

void audioPort(std::ofstream& out, std::uint32_t index, bool input, const char* symbol, const char* name) {
    out << "    [\n        a lv2:AudioPort, " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol << "\" ;\n        lv2:name \"" << name
        << "\"\n    ] ,\n";
}

bool writePlugin(const std::string& directory) {
    std::ofstream out(directory + "/Drevon_Orbelune.ttl");
    out << kPrefixes;
    out << "<" << kPluginUri << ">\n    a lv2:Plugin, lv2:ReverbPlugin, doap:Project ;\n"
        << "    doap:name \"" << identity::kEffectName << "\" ;\n"
        << "    doap:maintainer [ foaf:name \"" << identity::kVendorName << "\" ] ;\n"
        << "    lv2:minorVersion 0 ;\n    lv2:microVersion 0 ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    ui:ui <" << kUiUri << "> ;\n"
        << "    lv2:port\n";
    audioPort(out, kInputLeft, true, "in_l", "In L");
    audioPort(out, kInputRight, true, "in_r", "In R");
    audioPort(out, kOutputLeft, false, "out_l", "Out L");
    audioPort(out, kOutputRight, false, "out_r", "Out R");
    for (int parameter = 0; parameter < kParamBypass; ++parameter) {
        out << "    [\n        a lv2:InputPort, lv2:ControlPort ;\n"
            << "        lv2:index " << kFirstControl + parameter << " ;\n"
            << "        lv2:symbol \"" << parameterTable[parameter].symbol << "\" ;\n"
            << "        lv2:name \"" << parameterTable[parameter].name << "\" ;\n"
            << "        lv2:default " << portText(parameter, parameterTable[parameter].defaultValue) << " ;\n"
            << "        lv2:minimum " << floatText(displayNumber(parameter, 0.0f)) << " ;\n"
            << "        lv2:maximum " << floatText(displayNumber(parameter, 1.0f)) << " ;\n"
            << "        units:unit " << unitOf(parameter) << "\n    ] ,\n";
    }
    out << "    [\n        a lv2:InputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << kEnabled << " ;\n        lv2:symbol \"enabled\" ;\n        lv2:name \"Enabled\" ;\n"
        << "        lv2:designation lv2:enabled ;\n        lv2:portProperty lv2:toggled ;\n"
        << "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ] ,\n";
    out << "    [\n        a lv2:OutputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << kLevel << " ;\n        lv2:symbol \"level\" ;\n        lv2:name \"Level\" ;\n"
        << "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0\n    ] .\n\n";
    out << "<" << kUiUri << ">\n    a ui:X11UI ;\n"
        << "    lv2:requiredFeature ui:parent ;\n"
        << "    lv2:optionalFeature ui:touch, ui:resize, opts:options ;\n"
        << "    opts:supportedOption ui:scaleFactor ;\n"
        << "    lv2:requiredFeature ui:idleInterface ;\n"
        << "    lv2:extensionData ui:idleInterface, ui:resize .\n";
    return static_cast<bool>(out);
}

bool writeManifest(const std::string& directory) {
    std::ofstream out(directory + "/manifest.ttl");
    out << kPrefixes;
    out << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <Drevon_Orbelune.so> ;\n"
        << "    rdfs:seeAlso <Drevon_Orbelune.ttl> .\n\n";
    out << "<" << kUiUri << ">\n    a ui:X11UI ;\n    ui:binary <Drevon_Orbelune_ui.so> ;\n"
        << "    rdfs:seeAlso <Drevon_Orbelune.ttl> .\n";
    for (const Preset& preset : presetTable)
        out << "\n<" << kPluginUri << "#preset-" << preset.symbol << ">\n    a pset:Preset ;\n"
            << "    lv2:appliesTo <" << kPluginUri << "> ;\n    rdfs:label \"" << preset.name << "\" ;\n"
            << "    rdfs:seeAlso <presets.ttl> .\n";
    return static_cast<bool>(out);
}

bool writePresets(const std::string& directory) {
    std::ofstream out(directory + "/presets.ttl");
    out << kPrefixes;
    for (const Preset& preset : presetTable) {
        out << "<" << kPluginUri << "#preset-" << preset.symbol << ">\n    a pset:Preset ;\n"
            << "    lv2:appliesTo <" << kPluginUri << "> ;\n    rdfs:label \"" << preset.name << "\" ;\n"
            << "    lv2:port\n";
        for (int parameter = 0; parameter < kParamBypass; ++parameter)
            out << "        [ lv2:symbol \"" << parameterTable[parameter].symbol << "\" ; pset:value "
                << portText(parameter, preset.values[parameter]) << " ] ,\n";
        out << "        [ lv2:symbol \"enabled\" ; pset:value " << (portValue(kParamBypass, preset.values[kParamBypass]) >= 0.5f ? "1.0" : "0.0")
            << " ] .\n\n";
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fprintf(stderr, "usage: orbelune-lv2-ttl BUNDLE_DIRECTORY\n");
        return 2;
    }
    const std::string directory = arguments[1];
    if (!writePlugin(directory) || !writeManifest(directory) || !writePresets(directory)) {
        std::fprintf(stderr, "orbelune-lv2-ttl: cannot write into %s\n", directory.c_str());
        return 1;
    }
    return 0;
}
