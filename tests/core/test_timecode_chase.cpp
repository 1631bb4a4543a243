// Chasing timecode against a model player that loads, seeks and runs a little fast: lock, error,
// jumps, dropouts, a new hour, standing timecode and the selected-track option.
#include "core/TimecodeChase.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orvelo;
using namespace std::chrono_literals;
using Clock = TimecodeChase::Clock;

namespace {

// A player whose clock runs 0.5 % fast; a load lands after 120 ms, a seek after 40 ms.
struct ModelPlayer {
    TimecodeChase::Player state;
    double rate = 1.0;
    int seeks = 0;
    int pauses = 0;
    // Where a seek lands past its target: media whose frames fall between the timecode's.
    double landsLate = 0.0;
    std::optional<std::pair<Clock::time_point, double>> pendingSeek;

    void apply(const TimecodeChase::Command& c, Clock::time_point now)
    {
        if (c.loadTrack) {
            state.track = *c.loadTrack;
            state.loading = true;
        }
        if (c.seekTo) {
            pendingSeek = {now + (c.loadTrack ? 120ms : 40ms), *c.seekTo + landsLate};
            ++seeks;
            state.loading = true;
        }
        if (c.play) {
            pauses += state.playing && !*c.play;
            state.playing = *c.play;
        }
        if (c.rate)
            rate = *c.rate;
    }
    void advance(std::chrono::microseconds step, Clock::time_point now)
    {
        if (pendingSeek && now >= pendingSeek->first) {
            state.position = pendingSeek->second;
            state.loading = false;
            pendingSeek.reset();
        }
        if (state.playing && !state.loading)
            state.position += std::chrono::duration<double>(step).count() * rate * 1.005;
    }
};

// Runs `seconds` of a 25 fps source from `frame` (sending while `sending` says so), looking
// every 10 ms; returns the chase's error at each look once `from` has passed.
struct Show {
    TimecodeChase chase;
    ModelPlayer player;
    Clock::time_point now{};

    std::vector<double> roll(long long& frame, double seconds, bool sending = true, bool advancing = true)
    {
        std::vector<double> errors;
        const auto end = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        auto nextPacket = now;
        for (; now < end; now += 10ms) {
            if (now >= nextPacket) {
                if (sending)
                    chase.received(frame, 25.0, now);
                frame += advancing;
                nextPacket += 40ms;
            }
            player.advance(10ms, now);
            player.apply(chase.look(player.state, 0, now), now);
            errors.push_back(chase.lock() == TimecodeChase::Lock::locked ? chase.errorFrames() : NAN);
        }
        return errors;
    }
};

// When the chase first reads locked, in seconds from the start of `errors` (10 ms apart).
double lockTime(const std::vector<double>& errors)
{
    for (std::size_t i = 0; i < errors.size(); ++i)
        if (!std::isnan(errors[i]))
            return static_cast<double>(i) / 100.0;
    return 1e9;
}

double worst(const std::vector<double>& errors, std::size_t from)
{
    double w = 0;
    for (std::size_t i = from; i < errors.size(); ++i)
        w = std::max(w, std::isnan(errors[i]) ? 1e9 : std::abs(errors[i]));
    return w;
}

} // namespace

TEST(TimecodeChase, LocksHoldsAFrameFollowsJumpsAndNewHoursAndFreewheels)
{
    Show run;
    long long frame = (3600 + 62) * 25; // hour 1: the second entry, 1:02 in
    auto errors = run.roll(frame, 3.0);
    EXPECT_EQ(run.player.state.track, 1);
    EXPECT_LT(lockTime(errors), 0.5);
    EXPECT_LE(worst(errors, 60), 1.0) << "within a frame once locked, a player 0.5 % fast";
    EXPECT_NEAR(run.player.rate, 1.0 / 1.005, 0.01);

    frame -= 250; // back 10 s
    errors = run.roll(frame, 2.0);
    EXPECT_LT(lockTime(errors), 0.5) << "a jump back re-locks at once";
    EXPECT_EQ(run.player.pauses, 0) << "and rolls on through it";
    EXPECT_LE(worst(errors, 60), 1.0);

    // Silent for 6 frames: the player runs on, freewheeling, and is locked again after.
    run.roll(frame, 0.24, false);
    EXPECT_EQ(run.chase.lock(), TimecodeChase::Lock::freewheel);
    EXPECT_TRUE(run.player.state.playing);
    errors = run.roll(frame, 1.0);
    EXPECT_LE(worst(errors, 30), 1.0);
    // Silent for longer than the 10 freewheel frames: it holds, and resumes when timecode returns.
    run.roll(frame, 1.0, false);
    EXPECT_EQ(run.chase.lock(), TimecodeChase::Lock::lost);
    EXPECT_FALSE(run.player.state.playing);
    errors = run.roll(frame, 1.0);
    EXPECT_TRUE(run.player.state.playing);
    EXPECT_LT(lockTime(errors), 0.5);

    frame = 2 * 3600 * 25; // a new hour: the third entry from its start
    errors = run.roll(frame, 1.0);
    EXPECT_EQ(run.player.state.track, 2);
    EXPECT_LT(lockTime(errors), 0.5);
    EXPECT_LE(worst(errors, 50), 1.0);

    // Timecode standing still: the player holds that frame exactly.
    run.roll(frame, 1.0, true, false);
    EXPECT_FALSE(run.player.state.playing);
    EXPECT_NEAR(run.player.state.position * 25, static_cast<double>(frame % (3600 * 25)), 0.5);
    // A still picture that cannot come closer than most of a frame is sought once, not again
    // and again.
    run.player.landsLate = 0.6 / 25;
    frame += 50;
    const int seeks = run.player.seeks;
    run.roll(frame, 1.0, true, false);
    EXPECT_LE(run.player.seeks, seeks + 2) << "the jump, then the still frame once";
}

TEST(TimecodeChase, OffsetAndTheSelectedTrackOption)
{
    Show run;
    run.chase.setSettings({.offsetFrames = -3600 * 25 + 25, .followSelectedTrack = false, .freewheelFrames = 10});
    long long frame = 3600 * 25; // 01:00:00:00 minus an hour plus a second: entry 0 at 1 s
    run.roll(frame, 1.0);
    EXPECT_EQ(run.player.state.track, 0);
    EXPECT_EQ(run.chase.incoming(), frame - 1 - 3600 * 25 + 25);

    Show selected;
    selected.chase.setSettings({.offsetFrames = 0, .followSelectedTrack = true, .freewheelFrames = 10});
    frame = (5 * 3600 + 10) * 25; // hour 5 is ignored: the selected entry (0) at 10 s
    selected.roll(frame, 1.0);
    EXPECT_EQ(selected.player.state.track, 0);
    EXPECT_NEAR(selected.player.state.position, 11.0, 0.1);

    // Before midnight after the offset: nothing to show.
    Show early;
    early.chase.setSettings({.offsetFrames = -100, .followSelectedTrack = false, .freewheelFrames = 10});
    frame = 10;
    early.roll(frame, 0.5);
    EXPECT_FALSE(early.player.state.track);
    EXPECT_EQ(early.chase.lock(), TimecodeChase::Lock::lost);
}
