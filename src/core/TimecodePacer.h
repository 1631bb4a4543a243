#pragma once

#include <chrono>
#include <optional>

namespace orvelo {

// When the timecode output speaks, and which frame it says. While playing: once for every
// timecode frame the position reaches, whatever the DMX rate or the playback speed, checked
// again just after the next frame boundary is due. Otherwise the held position at most once a
// second, and at once when it moves (a stop, a seek). Pure: positions and times in, decisions out.
class TimecodePacer {
public:
    using Clock = std::chrono::steady_clock;

    struct Decision {
        std::optional<long long> frame;      // the frame to send now, if any
        std::chrono::milliseconds nextCheck; // when to look again
    };

    // `position` in seconds of the frame on show, `rate` the playback speed (0 when not playing).
    Decision observe(double position, double framesPerSecond, double rate, Clock::time_point now);
    // A new track or a new rate setting: the next observation speaks at once.
    void reset();

    static constexpr std::chrono::seconds heldInterval{1};

private:
    std::optional<long long> lastFrame_;
    Clock::time_point lastSent_{};
};

} // namespace orvelo
