#pragma once

#include <array>

namespace orvelo {

// The colour channels the effects treat separately, in the order they are applied.
enum class ColorChannel { red = 0, green = 1, blue = 2 };
inline constexpr int colorChannelCount = 3;

// One frame's view of the live effect values: the compositor and the NDI sender take one
// snapshot per frame, so a frame never mixes values within a property (only across them).
struct EffectParameters {
    float brightness = 0.0f; // offset added to each colour component, in 0..1 units
    float saturation = 1.0f; // 0 = luminance grey, 1 = unchanged, above 1 extrapolates
    bool isInverted = false;
    std::array<bool, colorChannelCount> enabled{true, true, true};
    std::array<int, colorChannelCount> timeShift{0, 0, 0};                 // frames of delay
    std::array<double, colorChannelCount> horizontalOffset{0.0, 0.0, 0.0}; // pixels, + = right
    std::array<double, colorChannelCount> verticalOffset{0.0, 0.0, 0.0};   // pixels, + = up

    // The neutral state passes frames through untouched. Comparisons are exact on purpose: a
    // brightness of 0.0001 is an effect the operator asked for.
    bool isNeutral() const
    {
        for (int c = 0; c < colorChannelCount; ++c) {
            if (timeShift[static_cast<std::size_t>(c)] != 0)
                return false;
        }
        for (int c = 0; c < colorChannelCount; ++c) {
            const auto i = static_cast<std::size_t>(c);
            if (horizontalOffset[i] != 0.0 || verticalOffset[i] != 0.0)
                return false;
        }
        for (bool on : enabled) {
            if (!on)
                return false;
        }
        return brightness == 0.0f && saturation == 1.0f && !isInverted;
    }
};

} // namespace orvelo
