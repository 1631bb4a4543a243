// Protects the test-only skewed clock a sync group's tests give one follower: what it accepts,
// and that it runs as far off and as fast as told.
#include "platform/media/GStreamerInit.h"
#include "platform/media/SkewedClock.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(SkewedClock, AcceptsSecondsAndPpmAndRunsOffAndFastAsTold)
{
    ASSERT_TRUE(SkewedClock::parse("-2.5,-30"));
    EXPECT_EQ(SkewedClock::parse("-2.5,-30")->offsetNs, -2'500'000'000);
    EXPECT_EQ(SkewedClock::parse("-2.5,-30")->ppm, -30.0);
    for (const char* bad : {"", "5", "5,", ",100", "5,100x", "x,1", "1e9,1", "nan,1", "1,inf"})
        EXPECT_FALSE(SkewedClock::parse(bad)) << bad;

    ensureGStreamer();
    const auto skewed = SkewedClock{5'000'000'000, 1000.0}.create();
    GstObjectHandle<GstClock> system(gst_system_clock_obtain());
    const auto real = static_cast<double>(gst_clock_get_time(system.get()));
    const auto local = static_cast<double>(gst_clock_get_time(skewed.get()));
    EXPECT_NEAR(local, real * 1.001 + 5e9, 1e6);
}
