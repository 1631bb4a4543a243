#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvelo {

// The generated pictures shown for audio-only tracks. The raw value is the display name used
// by the settings, the web API and log lines. The order is part of the interface: the DMX
// pattern channel counts through the cases in it.
enum class AudioVisualPattern {
    blackScreen,
    colorfulAbstract,
    verticalStripes,
    horizontalStripes,
    oscilloscope,
    spectrumBars,
    circularWave,
    waveformMirror,
    beatStrobe,
    pulsingRing,
};

constexpr std::string_view rawValue(AudioVisualPattern pattern)
{
    switch (pattern) {
    case AudioVisualPattern::blackScreen:
        return "Black Screen";
    case AudioVisualPattern::colorfulAbstract:
        return "Abstract Colors";
    case AudioVisualPattern::verticalStripes:
        return "Vertical Stripes";
    case AudioVisualPattern::horizontalStripes:
        return "Horizontal Stripes";
    case AudioVisualPattern::oscilloscope:
        return "Oscilloscope";
    case AudioVisualPattern::spectrumBars:
        return "Spectrum Bars";
    case AudioVisualPattern::circularWave:
        return "Circular Wave";
    case AudioVisualPattern::waveformMirror:
        return "Waveform Mirror";
    case AudioVisualPattern::beatStrobe:
        return "Beat Strobe";
    case AudioVisualPattern::pulsingRing:
        return "Pulsing Ring";
    }
    return {};
}

constexpr std::array<AudioVisualPattern, 10> allAudioVisualPatterns{
    AudioVisualPattern::blackScreen,       AudioVisualPattern::colorfulAbstract, AudioVisualPattern::verticalStripes,
    AudioVisualPattern::horizontalStripes, AudioVisualPattern::oscilloscope,     AudioVisualPattern::spectrumBars,
    AudioVisualPattern::circularWave,      AudioVisualPattern::waveformMirror,   AudioVisualPattern::beatStrobe,
    AudioVisualPattern::pulsingRing,
};

// Exact, case-sensitive match of the display name; callers leave their setting unchanged on
// nothing.
constexpr std::optional<AudioVisualPattern> audioVisualPatternFromRawValue(std::string_view raw)
{
    for (const auto pattern : allAudioVisualPatterns)
        if (rawValue(pattern) == raw)
            return pattern;
    return std::nullopt;
}

} // namespace orvelo
