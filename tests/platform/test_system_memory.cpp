#include "platform/SystemMemory.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(SystemMemory, ReadsMemAvailableAndNothingElse)
{
    EXPECT_EQ(memAvailableFrom("MemTotal:       24000000 kB\nMemFree:  100 kB\nMemAvailable:   2048 kB\n"),
              2048 * 1024);
    EXPECT_EQ(memAvailableFrom("MemAvailable: 0 kB"), 0);
    for (const char* bad : {"", "MemTotal: 5 kB\n", "XMemAvailable: 5 kB\n", "MemAvailable: -5 kB\n",
                            "MemAvailable: many kB\n", "MemAvailable: 5 MB\n", "MemAvailable: 5"})
        EXPECT_FALSE(memAvailableFrom(bad)) << bad;
    EXPECT_GT(availableMemoryBytes().value_or(0), 0) << "this machine's own figure";
}
