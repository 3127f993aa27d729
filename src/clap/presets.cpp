// The factory presets for CLAP hosts: a discovery factory whose one provider
// lists them as presets inside the module, for a host to index without an
// instance, and the preset-load extension that loads one into an instance.
// Each is found by its table symbol, which never changes.
#include <cstring>

#include "clap/instance.h"
#include "core/identity.h"
#include "core/parameters.h"
#include "core/presets.h"

namespace orbelune::clapadapter {

namespace {

const clap::PresetDiscoveryProviderDescriptor kProviderDescriptor = {
    clap::kVersion, "com.drevon.orbelune.factory-presets", "Drevon Orbelune factory presets", identity::kVendorName};

const Preset* presetByKey(const char* loadKey) {
    if (loadKey == nullptr) return nullptr;
    for (const Preset& preset : presetTable)
        if (std::strcmp(preset.symbol, loadKey) == 0) return &preset;
    return nullptr;
}

// ---- discovery -------------------------------------------------------------------------

bool providerInit(const clap::PresetDiscoveryProvider* provider) {
    const auto* indexer = static_cast<const clap::PresetDiscoveryIndexer*>(provider->providerData);
    const clap::PresetDiscoveryLocation factory = {clap::kPresetIsFactoryContent, "Factory presets",
                                                   clap::kPresetLocationPlugin, nullptr};
    return indexer->declareLocation != nullptr && indexer->declareLocation(indexer, &factory);
}

void providerDestroy(const clap::PresetDiscoveryProvider* provider) { delete provider; }

bool providerMetadata(const clap::PresetDiscoveryProvider*, std::uint32_t locationKind, const char*,
                      const clap::PresetDiscoveryMetadataReceiver* receiver) {
    if (locationKind != clap::kPresetLocationPlugin || receiver == nullptr || receiver->beginPreset == nullptr)
        return false;
    const clap::UniversalPluginId plugin = {"clap", identity::kClapId};
    for (const Preset& preset : presetTable) {
        if (!receiver->beginPreset(receiver, preset.name, preset.symbol)) break;
        if (receiver->addPluginId != nullptr) receiver->addPluginId(receiver, &plugin);
        if (receiver->setFlags != nullptr) receiver->setFlags(receiver, clap::kPresetIsFactoryContent);
    }
    return true;
}

const void* providerExtension(const clap::PresetDiscoveryProvider*, const char*) { return nullptr; }

std::uint32_t discoveryCount(const clap::PresetDiscoveryFactory*) { return 1; }

const clap::PresetDiscoveryProviderDescriptor* discoveryDescriptor(const clap::PresetDiscoveryFactory*,
                                                                   std::uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

// The provider keeps the indexer for init; nothing calls the indexer here.
const clap::PresetDiscoveryProvider* discoveryCreate(const clap::PresetDiscoveryFactory*,
                                                     const clap::PresetDiscoveryIndexer* indexer,
                                                     const char* providerId) {
    if (indexer == nullptr || providerId == nullptr || std::strcmp(providerId, kProviderDescriptor.id) != 0)
        return nullptr;
    return new (std::nothrow) clap::PresetDiscoveryProvider{&kProviderDescriptor, const_cast<void*>(static_cast<const void*>(indexer)),
                                                            providerInit,         providerDestroy,
                                                            providerMetadata,     providerExtension};
}

// ---- loading ------------------------------------------------------------------------------

// The six values of the preset, as a host's own change of them would set
// them ("Bypass" stays); the host is told they changed and that the preset
// loaded. An unknown preset changes nothing and is reported to the host.
bool loadFromLocation(const clap::Plugin* plugin, std::uint32_t locationKind, const char* location,
                      const char* loadKey) {
    Instance& instance = instanceOf(plugin);
    const Preset* preset = locationKind == clap::kPresetLocationPlugin ? presetByKey(loadKey) : nullptr;
    const clap::HostPresetLoad* host = instance.hostPresetLoad;
    if (preset == nullptr) {
        if (host != nullptr && host->onError != nullptr)
            host->onError(instance.host, locationKind, location, loadKey, 0, "no such factory preset");
        return false;
    }
    for (int index = 0; index < kParamCount; ++index)
        if (!parameterTable[index].toggle) setPluginParameter(*instance.core, index, preset->values[index]);
    instance.preset = static_cast<std::int32_t>(preset - presetTable);
    requestEditorRepaint(instance.editor);
    if (instance.hostParams != nullptr && instance.hostParams->rescan != nullptr)
        instance.hostParams->rescan(instance.host, clap::kParamRescanValues);
    if (host != nullptr && host->loaded != nullptr) host->loaded(instance.host, locationKind, location, loadKey);
    return true;
}

}  // namespace

const clap::PresetDiscoveryFactory presetDiscoveryFactory = {discoveryCount, discoveryDescriptor, discoveryCreate};
const clap::PluginPresetLoad presetLoadExtension = {loadFromLocation};

}  // namespace orbelune::clapadapter
