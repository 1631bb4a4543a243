// The timecode cadence: one packet per frame at any speed, a held position at most once a second,
// and frames ahead sent when due and in order.

#include "core/TimecodePacer.h"
#include "core/TimecodeSender.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace orvelo;
using namespace std::chrono_literals;
using Clock = TimecodePacer::Clock;

TEST(TimecodePacer, PlayingSendsEachFrameOnceAtAnySpeedAndLooksAgainAfterTheNextBoundary)
{
    // Pictures on time, and pictures that fall behind the clock the frames ahead are due by.
    for (const double pictureClock : {1.0, 0.97})
        for (const double rate : {0.5, 1.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << rate << " " << pictureClock);
            TimecodePacer pacer;
            // A player checked whenever the pacer asks, and also at a DMX rate of 44 Hz in
            // between; the frame ahead goes out at the first look after it is due.
            std::vector<long long> sent;
            std::optional<TimecodePacer::Ahead> ahead;
            Clock::time_point now{};
            auto next = now;
            for (auto dmx = now; now < Clock::time_point{} + 4s;) {
                now = std::min(next, dmx);
                if (now == dmx)
                    dmx += 22727us;
                if (ahead && ahead->due <= now)
                    sent.push_back(ahead->frame);
                const double position =
                    std::chrono::duration<double>(now.time_since_epoch()).count() * rate * pictureClock;
                const auto decision = pacer.observe(position, 25.0, rate, now);
                if (decision.frame)
                    sent.push_back(*decision.frame);
                ahead = decision.ahead;
                if (now == next || decision.frame)
                    next = now + decision.nextCheck;
            }
            // Four seconds of wall time at this speed: every frame once, in order.
            ASSERT_NEAR(static_cast<double>(sent.size()), 100 * rate * pictureClock, 2);
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

TEST(TimecodeSender, SendsAFrameAheadWhenDueInOrderWithFramesSentNowAndNeverTwice)
{
    using SenderClock = TimecodeSender::Clock;
    std::mutex mutex;
    std::vector<std::pair<long long, SenderClock::time_point>> sent;
    const auto frame = [&](long long number) {
        return TimecodeSender::Frame{number, [&, number] {
                                         std::lock_guard lock(mutex);
                                         sent.emplace_back(number, SenderClock::now());
                                     }};
    };
    const auto numbers = [&] {
        std::lock_guard lock(mutex);
        std::vector<long long> list;
        for (const auto& entry : sent)
            list.push_back(entry.first);
        return list;
    };
    for (const bool ownThread : {true, false}) {
        SCOPED_TRACE(ownThread);
        sent.clear();
        TimecodeSender sender(ownThread);
        const auto start = SenderClock::now();
        sender.update(frame(1), TimecodeSender::Pending{start + 30ms, frame(2)});
        // A seek before it is due: the frame sent now takes the place of the one waiting.
        sender.update(frame(7), TimecodeSender::Pending{start + 40ms, frame(8)});
        std::this_thread::sleep_for(100ms);
        // Decided a moment before 8 went out on time: not sent again.
        sender.update(ownThread ? std::optional(frame(8)) : std::nullopt,
                      TimecodeSender::Pending{start + 1h, frame(9)});
        EXPECT_EQ(numbers(), (std::vector<long long>{1, 7, 8}));
        std::lock_guard lock(mutex);
        EXPECT_GE(sent[2].second, start + 40ms) << "never before it is due";
    }
}
