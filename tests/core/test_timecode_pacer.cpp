// Protects the timecode cadence: one packet per timecode frame while playing at any speed, the
// held position at most once a second otherwise, and bad numbers never sent.

#include "core/TimecodePacer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace orvelo;
using namespace std::chrono_literals;
using Clock = TimecodePacer::Clock;

TEST(TimecodePacer, PlayingSendsEachFrameOnceAtAnySpeedAndLooksAgainAfterTheNextBoundary)
{
    for (const double rate : {0.5, 1.0, 2.0}) {
        SCOPED_TRACE(rate);
        TimecodePacer pacer;
        // A player checked whenever the pacer asks, and also at a DMX rate of 44 Hz in between.
        std::vector<long long> sent;
        Clock::time_point now{};
        auto next = now;
        for (auto dmx = now; now < Clock::time_point{} + 4s;) {
            now = std::min(next, dmx);
            if (now == dmx)
                dmx += 22727us;
            const double position = std::chrono::duration<double>(now.time_since_epoch()).count() * rate;
            const auto decision = pacer.observe(position, 25.0, rate, now);
            if (decision.frame)
                sent.push_back(*decision.frame);
            if (now == next || decision.frame)
                next = now + decision.nextCheck;
        }
        // Four seconds of wall time at this speed: every frame once, in order.
        ASSERT_NEAR(static_cast<double>(sent.size()), 100 * rate, 1);
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(sent[i], static_cast<long long>(i));
    }
}

TEST(TimecodePacer, HeldPositionOnceASecondAndAtOnceWhenItMoves)
{
    TimecodePacer pacer;
    const Clock::time_point start{};
    EXPECT_EQ(pacer.observe(2.0, 25.0, 0.0, start).frame, 50);
    int repeats = 0;
    for (auto t = start + 22ms; t < start + 3s; t += 22ms) // a console holding pause at 44 Hz
        repeats += pacer.observe(2.0, 25.0, 0.0, t).frame.has_value();
    EXPECT_EQ(repeats, 2);
    EXPECT_EQ(pacer.observe(0.0, 25.0, 0.0, start + 3s + 1ms).frame, 0) << "a stop goes back to the start";
    const auto held = pacer.observe(0.0, 25.0, 0.0, start + 3s + 500ms);
    EXPECT_FALSE(held.frame);
    EXPECT_EQ(held.nextCheck, 501ms);

    pacer.reset();
    EXPECT_EQ(pacer.observe(0.0, 25.0, 0.0, start + 3s + 600ms).frame, 0) << "a new track speaks at once";
    for (const double bad : {std::nan(""), -1.0, std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(pacer.observe(bad, 25.0, 1.0, start + 10s).frame);
    EXPECT_FALSE(pacer.observe(1.0, 0.0, 1.0, start + 10s).frame);
}
