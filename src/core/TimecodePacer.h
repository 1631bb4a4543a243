#pragma once

#include <chrono>
#include <optional>

namespace orvelo {

// When the timecode output speaks, and which frame it says. While playing: once for every
// timecode frame the position reaches, whatever the DMX rate or the playback speed; each
// decision also names the next frame and the moment it is due, so that a sender can put it on
// the wire on time however late the caller looks again. Otherwise the held position at most once
// a second, and at once when it moves (a stop, a seek). Pure: positions and times in, decisions
// out.
class TimecodePacer {
public:
    using Clock = std::chrono::steady_clock;

    struct Ahead {
        long long frame;
        Clock::time_point due;
    };

    struct Decision {
        std::optional<long long> frame;      // the frame to send now, if any
        std::optional<Ahead> ahead;          // while playing: the next frame, to send when due
        std::chrono::milliseconds nextCheck; // when to look again
    };

    // `position` in seconds of the frame on show, `rate` the playback speed (0 when not playing).
    // The frame ahead of the last decision counts as sent once its time has come.
    Decision observe(double position, double framesPerSecond, double rate, Clock::time_point now);
    // A new track or a new rate setting: the next observation speaks at once.
    void reset();

    static constexpr std::chrono::seconds heldInterval{1};

private:
    std::optional<long long> lastFrame_;
    Clock::time_point lastSent_{};
    std::optional<Ahead> ahead_;
};

} // namespace orvelo
