#pragma once

#include "playback/AudioVisualPattern.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvelo {

class SettingsManager;
class VideoEffectsManager;

// What the pictures of a sync group share besides their timeline: the video effects and the
// generated pattern, so that a wall of several players looks like one picture. Travels as bytes
// in the leader's state; the speed is the timeline's, not part of the look.
struct GroupLook {
    float brightness = 0.0f;
    float saturation = 1.0f;
    float alpha = 1.0f;
    bool inverted = false;
    bool red = true;
    bool green = true;
    bool blue = true;
    std::array<std::int32_t, 3> timeShifts{};
    // Red, green, blue; horizontal then vertical for each.
    std::array<double, 6> offsets{};
    AudioVisualPattern pattern = AudioVisualPattern::blackScreen;
    double patternSpeed = 1.0;

    static GroupLook capture(const VideoEffectsManager& effects, const SettingsManager& settings);
    void applyTo(VideoEffectsManager& effects, SettingsManager& settings) const;

    std::vector<std::uint8_t> encode() const;
    // Nothing for bytes that are not a look of this version (a newer leader's, or damaged).
    static std::optional<GroupLook> decode(std::span<const std::uint8_t> bytes);

    bool operator==(const GroupLook&) const = default;
};

} // namespace orvelo
