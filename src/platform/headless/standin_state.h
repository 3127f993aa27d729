// What the stand-in's window and drawing halves share: one lock and the counters.
#pragma once

#include <mutex>

#include "platform/headless/win32_standin.h"

namespace standin::detail {

std::mutex& lock();
Counters& counters();

}  // namespace standin::detail
