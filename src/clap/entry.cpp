// The module's one export, `clap_entry`: a constant record a host reads
// through dlsym or GetProcAddress. Every factory the module offers is listed
// here by its id: the plug-ins, and the factory presets for hosts to index.
#include <atomic>
#include <cstring>

#include "clap/instance.h"
#include "platform/export.h"

namespace orbelune::clapadapter {

namespace {

// A host and a wrapper in one process may each initialise the module: the
// calls are counted. Nothing needs setting up at the first or undoing at the
// last, so the count alone serves.
std::atomic<int> initialisations{0};

bool entryInit(const char*) {
    initialisations.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

void entryDeinit() {
    int count = initialisations.load(std::memory_order_acquire);
    while (count > 0 && !initialisations.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {
    }
}

const void* entryFactory(const char* factoryId) {
    if (factoryId == nullptr || initialisations.load(std::memory_order_acquire) == 0) return nullptr;
    struct Offer {
        const char* id;
        const void* factory;
    };
    static const Offer offers[] = {{clap::kPluginFactoryId, &pluginFactory},
                                   {clap::kPresetDiscoveryFactoryId, &presetDiscoveryFactory},
                                   {clap::kPresetDiscoveryFactoryDraftId, &presetDiscoveryFactory}};
    for (const Offer& offer : offers)
        if (std::strcmp(factoryId, offer.id) == 0) return offer.factory;
    return nullptr;
}

}  // namespace

}  // namespace orbelune::clapadapter

extern "C" ORBELUNE_EXPORT const clap::PluginEntry clap_entry = {
    clap::kVersion, orbelune::clapadapter::entryInit, orbelune::clapadapter::entryDeinit,
    orbelune::clapadapter::entryFactory};
