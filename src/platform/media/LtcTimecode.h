#pragma once

#include <cstdint>

namespace orvelo {

// The most channels an LTC input or output may have: GStreamer's limit for raw audio.
inline constexpr int maxLtcChannels = 64;

// One timecode as linear timecode carries it: a time of day and the frame within its second,
// without drop frames. Plain values; whether they exist depends on the frame rate.
struct LtcTimecode {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;

    friend bool operator==(const LtcTimecode&, const LtcTimecode&) = default;

    // Whether this names a frame of a day at `fps` frames per second.
    constexpr bool isValid(int fps) const
    {
        return hours >= 0 && hours < 24 && minutes >= 0 && minutes < 60 && seconds >= 0 && seconds < 60 &&
               frames >= 0 && frames < fps;
    }

    // Frames since 00:00:00:00 at `fps`, and back (wrapping at 24 hours).
    constexpr std::int64_t toFrameCount(int fps) const
    {
        return ((std::int64_t{hours} * 60 + minutes) * 60 + seconds) * fps + frames;
    }
    static constexpr LtcTimecode fromFrameCount(std::int64_t count, int fps)
    {
        const std::int64_t perDay = std::int64_t{24} * 3600 * fps;
        count = ((count % perDay) + perDay) % perDay;
        const auto secondsOfDay = count / fps;
        return {static_cast<int>(secondsOfDay / 3600), static_cast<int>(secondsOfDay / 60 % 60),
                static_cast<int>(secondsOfDay % 60), static_cast<int>(count % fps)};
    }
};

} // namespace orvelo
