#pragma once

#include "playback/AudioVisualPattern.h"

#include <cstdint>
#include <optional>

namespace orvelo::dmx {

// The meaning of the console's channel values: the one place that says what a value does, for
// the controller and for every reference shown to the operator. Consoles are programmed
// against these bands, so they never change.

enum class ControlKind {
    stop,        // 0-5: stop, logged when playing
    pause,       // 6-10
    selectTrack, // 11-245: one band of ten values per track
    stopQuietly, // 246-255: stop, never logged
};

struct ControlAction {
    ControlKind kind = ControlKind::stop;
    int trackIndex = -1; // selectTrack only: 0-23
};

ControlAction decodeControl(std::uint8_t value);
// The lowest and highest control value that selects track `index` (0-23).
std::pair<int, int> trackBand(int index);

// The loop channel: none = follow the playlist, 0 = loop without end, n = play n times.
std::optional<int> decodeLoopOverride(std::uint8_t value);

enum class EffectBand {
    unchanged, // 0-4
    reset,     // 5-9
    mapped,    // 10-255
};
EffectBand effectBand(std::uint8_t value);

// The mapped values (value 10-255). Single precision where the console's arithmetic is
// single precision: the results must match to the last bit.
float effectFraction(std::uint8_t value);
AudioVisualPattern mappedPattern(std::uint8_t value);
double mappedPatternSpeed(std::uint8_t value);
float mappedBrightness(std::uint8_t value);
float mappedSaturation(std::uint8_t value);
float mappedAlpha(std::uint8_t value);
float mappedPlaybackSpeed(std::uint8_t value);
int mappedTimeShift(std::uint8_t value);
double mappedOffset(std::uint8_t value);

struct ColourMask {
    bool red = true;
    bool green = true;
    bool blue = true;
    friend bool operator==(const ColourMask&, const ColourMask&) = default;
};
ColourMask mappedColourMask(std::uint8_t value);

// The sixteen effect channels of the extended footprint, as channel numbers 3-18.
enum class EffectChannel {
    pattern = 3,
    patternSpeed,
    brightness,
    saturation,
    alpha,
    playbackSpeed,
    colourMask,
    redTimeShift,
    greenTimeShift,
    blueTimeShift,
    redHorizontalOffset,
    redVerticalOffset,
    greenHorizontalOffset,
    greenVerticalOffset,
    blueHorizontalOffset,
    blueVerticalOffset,
};

// Art-Net timecode type for a frame rate: 0 film (24), 1 EBU (25), 3 SMPTE (30).
std::uint8_t timecodeType(double fps);

struct Timecode {
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t frames = 0;
    friend bool operator==(const Timecode&, const Timecode&) = default;
};
// Position plus the track's offset as a time of day; nothing for a position that is negative
// or not a number, which no console could be shown.
std::optional<Timecode> timecodeAt(double seconds, double fps);

} // namespace orvelo::dmx
