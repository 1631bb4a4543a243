#pragma once

#include <array>
#include <optional>

namespace orvelo {

// Frame rate of the generated timecode. The raw value is frames per second; there is no
// drop-frame rate.
enum class TimecodeFrameRate { fps24, fps25, fps30 };

constexpr double rawValue(TimecodeFrameRate rate)
{
    switch (rate) {
    case TimecodeFrameRate::fps24:
        return 24.0;
    case TimecodeFrameRate::fps25:
        return 25.0;
    case TimecodeFrameRate::fps30:
        return 30.0;
    }
    return 25.0;
}

// In picker order.
constexpr std::array<TimecodeFrameRate, 3> allTimecodeFrameRates{TimecodeFrameRate::fps24, TimecodeFrameRate::fps25,
                                                                 TimecodeFrameRate::fps30};

// Only exactly 24, 25 or 30 name a rate (29.97 does not).
constexpr std::optional<TimecodeFrameRate> timecodeFrameRateFromRawValue(double fps)
{
    for (const auto rate : allTimecodeFrameRates)
        if (rawValue(rate) == fps)
            return rate;
    return std::nullopt;
}

} // namespace orvelo
