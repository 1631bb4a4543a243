#pragma once

#include <gtest/gtest.h>

namespace orvelo::test {

// The private X display the test main started, or -1 when Xvfb could not run.
struct XvfbDisplay {
    static inline int number = -1;
};

} // namespace orvelo::test

// Skips a test that needs the window system when there is none.
#define ORVELO_REQUIRE_DISPLAY()                                                                                       \
    do {                                                                                                               \
        if (::orvelo::test::XvfbDisplay::number < 0)                                                                   \
            GTEST_SKIP() << "no virtual display: Xvfb (Debian package xvfb) is not installed";                         \
    } while (0)
