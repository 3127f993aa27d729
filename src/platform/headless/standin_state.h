// What the stand-in's window and drawing halves share: one lock and the counters.
#pragma once

#include <mutex>

#include "platform/headless/win32_standin.h"

namespace standin::detail {

std::mutex& lock();
Counters& counters();

// Frees what the stand-in holds, at the module's unload; nothing may call it after.
void releaseWindowSystem();
void releaseDrawingState();

}  // namespace standin::detail
