// The exported entry point. A host calls it once per instance it wants; it is
// exported as VSTPluginMain and, for older hosts, as main.
#include "vst2/instance.h"
#include "platform/export.h"

extern "C" ORBELUNE_EXPORT vst::AEffect* VSTPluginMain(vst::audioMasterCallback hostCallback) {
    return orbelune::createInstance(hostCallback);
}
