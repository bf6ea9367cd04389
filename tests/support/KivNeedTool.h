// Tests that need a tool scripts/setup installs skip where it is missing, as a developer's machine
// may lack one; with UNDELIA_REQUIRE_TOOLS set (CI) they fail instead, so a missing install step
// cannot pass for a green run.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

inline bool KivToolsRequired() {
    const char* p = std::getenv("UNDELIA_REQUIRE_TOOLS");
    return p && *p && *p != '0';
}

#define KIV_SKIP_MISSING_TOOL(why)                                          \
    do {                                                                    \
        if (KivToolsRequired()) GTEST_FAIL() << "a tool is missing: " << why; \
        GTEST_SKIP() << why;                                                \
    } while (0)
