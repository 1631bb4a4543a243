#pragma once

#include "platform/media/GstHandle.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvelo {

// A follower's own clock, set off and running fast on purpose. On one machine every player
// reads the same monotonic clock, so a group tested there would never meet what a real
// follower's clock, seconds off and some parts per million fast, does to it. Test-only: made when
// ORVELO_TEST_CLOCK_SKEW says "seconds,ppm"; the group clock slaves it to the network clock the
// way GStreamer slaves any clock to a master.
struct SkewedClock {
    std::int64_t offsetNs = 0;
    double ppm = 0.0;

    static std::optional<SkewedClock> parse(std::string_view text);
    static std::optional<SkewedClock> fromEnvironment();
    GstObjectHandle<GstClock> create() const;
};

} // namespace orvelo
