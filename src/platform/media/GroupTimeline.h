#pragma once

#include <cstdint>

namespace orvelo {

// Where a player on the group clock stands: playing, the frame at `position` (seconds) is on
// screen at `clockTime` (ns on the group clock) and the picture moves on at `rate`; paused, it
// holds the frame at `position`.
struct GroupTimeline {
    bool playing = false;
    double position = 0.0;
    double rate = 1.0;
    std::uint64_t clockTime = 0;

    // The position at `time` on the group clock.
    double positionAt(std::uint64_t time) const
    {
        if (!playing)
            return position;
        const double elapsed = (static_cast<double>(time) - static_cast<double>(clockTime)) * 1e-9;
        return position + elapsed * rate;
    }
    bool operator==(const GroupTimeline&) const = default;
};

} // namespace orvelo
