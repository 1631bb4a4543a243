#include "core/DMXDecoding.h"

#include <algorithm>
#include <cmath>

namespace orvelo::dmx {

ControlAction decodeControl(std::uint8_t value)
{
    if (value <= 5)
        return {ControlKind::stop};
    if (value <= 10)
        return {ControlKind::pause};
    if (value <= 245)
        return {ControlKind::selectTrack, (value - 11) / 10};
    return {ControlKind::stopQuietly};
}

std::pair<int, int> trackBand(int index)
{
    const int low = 11 + index * 10;
    return {low, std::min(low + 9, 245)};
}

std::optional<int> decodeLoopOverride(std::uint8_t value)
{
    if (value <= 9)
        return std::nullopt;
    if (value <= 109)
        return (value - 10) / 10 + 1;
    return 0;
}

EffectBand effectBand(std::uint8_t value)
{
    if (value <= 4)
        return EffectBand::unchanged;
    if (value <= 9)
        return EffectBand::reset;
    return EffectBand::mapped;
}

float effectFraction(std::uint8_t value)
{
    return static_cast<float>(value - 10) / 245.0f;
}

AudioVisualPattern mappedPattern(std::uint8_t value)
{
    return allAudioVisualPatterns[static_cast<std::size_t>((value - 10) / 25)];
}

double mappedPatternSpeed(std::uint8_t value)
{
    return static_cast<double>(effectFraction(value)) * 2.9 + 0.1;
}

float mappedBrightness(std::uint8_t value)
{
    const float f = effectFraction(value);
    return f + f - 1.0f;
}

float mappedSaturation(std::uint8_t value)
{
    const float f = effectFraction(value);
    return f + f;
}

float mappedAlpha(std::uint8_t value)
{
    return effectFraction(value);
}

float mappedPlaybackSpeed(std::uint8_t value)
{
    return effectFraction(value) * 1.5f + 0.5f;
}

int mappedTimeShift(std::uint8_t value)
{
    return std::min(static_cast<int>(effectFraction(value) * 25.0f), 25);
}

double mappedOffset(std::uint8_t value)
{
    return static_cast<double>(value - 10 - 122) * 0.4098360655737705;
}

ColourMask mappedColourMask(std::uint8_t value)
{
    const int x = value - 10;
    if (x > 6)
        return {};
    return {(x & 1) != 0, (x & 2) != 0, x >= 4};
}

std::uint8_t timecodeType(double fps)
{
    if (fps == 24.0)
        return 0;
    if (fps == 30.0)
        return 3;
    return 1;
}

std::optional<Timecode> timecodeAt(double t, double fps)
{
    if (!std::isfinite(t) || t < 0.0)
        return std::nullopt;
    Timecode tc;
    tc.hours = static_cast<std::uint8_t>(std::fmod(std::trunc(t / 3600.0), 24.0));
    tc.minutes = static_cast<std::uint8_t>(std::trunc(std::fmod(t, 3600.0) / 60.0));
    tc.seconds = static_cast<std::uint8_t>(std::trunc(std::fmod(t, 60.0)));
    tc.frames = static_cast<std::uint8_t>(std::trunc((t - std::floor(t)) * fps));
    return tc;
}

} // namespace orvelo::dmx
