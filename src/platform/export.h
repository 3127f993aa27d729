#pragma once

// Symbol visibility of the entry point. The Windows DLL names its exports in
// its module-definition file; the Linux object hides everything else.
#if defined(_WIN32)
#define ORBELUNE_EXPORT
#else
#define ORBELUNE_EXPORT __attribute__((visibility("default")))
#endif
