#pragma once

#include <array>
#include <optional>
#include <string>

namespace orvelo {

// How far the NDI picture is scaled down. The raw value is the divisor.
enum class NDIResolutionScale { original = 1, half = 2, third = 3, quarter = 4 };

inline constexpr std::array<NDIResolutionScale, 4> allNDIResolutionScales{
    NDIResolutionScale::original, NDIResolutionScale::half, NDIResolutionScale::third, NDIResolutionScale::quarter};

constexpr int rawValue(NDIResolutionScale scale)
{
    return static_cast<int>(scale);
}

constexpr std::optional<NDIResolutionScale> ndiResolutionScaleFromRawValue(int raw)
{
    for (const auto scale : allNDIResolutionScales)
        if (rawValue(scale) == raw)
            return scale;
    return std::nullopt;
}

// "Original", "1/2", "1/3", "1/4".
inline std::string label(NDIResolutionScale scale)
{
    return scale == NDIResolutionScale::original ? std::string("Original") : "1/" + std::to_string(rawValue(scale));
}

} // namespace orvelo
