#pragma once

#include <array>
#include <optional>
#include <string>

namespace orvelo {

// The send rates offered for the NDI source. The raw value is the rate in frames per second.
enum class NDIFPS { fps12, fps24, fps25, fps30, fps50, fps60 };

inline constexpr std::array<NDIFPS, 6> allNDIFPS{NDIFPS::fps12, NDIFPS::fps24, NDIFPS::fps25,
                                                 NDIFPS::fps30, NDIFPS::fps50, NDIFPS::fps60};

constexpr double rawValue(NDIFPS fps)
{
    switch (fps) {
    case NDIFPS::fps12:
        return 12.0;
    case NDIFPS::fps24:
        return 24.0;
    case NDIFPS::fps25:
        return 25.0;
    case NDIFPS::fps30:
        return 30.0;
    case NDIFPS::fps50:
        return 50.0;
    case NDIFPS::fps60:
        return 60.0;
    }
    return 25.0;
}

// Exact match only: 25.5 names no rate.
constexpr std::optional<NDIFPS> ndiFPSFromRawValue(double raw)
{
    for (const auto fps : allNDIFPS)
        if (rawValue(fps) == raw)
            return fps;
    return std::nullopt;
}

// "25 fps".
inline std::string label(NDIFPS fps)
{
    return std::to_string(static_cast<int>(rawValue(fps))) + " fps";
}

// The frame rate as NDI takes it: numerator over denominator (25 fps is 25000 / 1000).
constexpr int frameRateNumerator(NDIFPS fps)
{
    return static_cast<int>(rawValue(fps) * 1000.0);
}
constexpr int frameRateDenominator(NDIFPS)
{
    return 1000;
}

} // namespace orvelo
