#pragma once

#include <cstdint>

namespace orvelo {

// For tests that compare players: when the environment names a file in ORVELO_FRAME_TAP, every
// frame a player shows is appended to it as a line "position_ns clock_ns", the frame's position
// in its track and the group clock's time when it was shown. Nothing otherwise. Any thread.
class FrameTap {
public:
    static bool enabled();
    static void shown(std::uint64_t positionNs, std::uint64_t clockNs);
};

} // namespace orvelo
