// A tiny check harness for the Windows test programs: no test framework is
// cross-built, and these programs only need to count and report.
#pragma once

#include <cstdio>

namespace winecheck {

inline int& passed() {
    static int count = 0;
    return count;
}
inline int& failed() {
    static int count = 0;
    return count;
}

inline void check(bool condition, const char* what, int line) {
    if (condition) {
        ++passed();
    } else {
        ++failed();
        std::printf("FAILED (line %d): %s\n", line, what);
    }
}

// The closing line the test runner reads.
inline int report(const char* program) {
    std::printf("%s: %d passed, %d failed\n", program, passed(), failed());
    return failed() == 0 ? 0 : 1;
}

}  // namespace winecheck

#define WINE_CHECK(condition) winecheck::check((condition), #condition, __LINE__)
