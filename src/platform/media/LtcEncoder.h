#pragma once

#include "platform/media/LtcTimecode.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct LTCEncoder;

namespace orvelo {

// Turns timecodes into the audio of linear timecode for one mono channel, one frame per call.
// The encoder keeps the signal's phase between calls, so the frames of consecutive calls join
// into one continuous signal; feed it each frame in turn. Not thread-safe: one thread at a time.
class LtcEncoder {
public:
    // Level of the signal unless set otherwise, in dB below full scale.
    static constexpr double defaultLevelDb = -3.0;

    // An encoder for `fps` (24, 25 or 30; no drop frame) at `sampleRate` samples per second
    // (8000 to 192000); nothing for other values.
    static std::optional<LtcEncoder> create(int fps, int sampleRate);

    LtcEncoder(LtcEncoder&&) noexcept;
    LtcEncoder& operator=(LtcEncoder&&) noexcept;
    ~LtcEncoder();

    int fps() const { return fps_; }
    int sampleRate() const { return sampleRate_; }

    // The samples of one frame carrying `timecode`: sampleRate / fps of them (where that is not
    // whole, frames alternate between the two nearest lengths so the signal keeps time). Floats
    // are in -1..1. Empty when the timecode does not exist at this frame rate.
    std::vector<float> encodeFloat(const LtcTimecode& timecode);
    std::vector<std::int16_t> encodeS16(const LtcTimecode& timecode);

    // Sets the peak level in dB below full scale, from -42 (the finest step the encoder makes)
    // to 0; false, and the level unchanged, outside that range. Applies from the next frame.
    bool setLevelDb(double dbfs);

private:
    struct Free {
        void operator()(LTCEncoder* encoder) const noexcept;
    };

    LtcEncoder(std::unique_ptr<LTCEncoder, Free> encoder, int fps, int sampleRate);
    // The frame's samples as the library makes them: unsigned 8 bit, centred on 128.
    std::vector<std::uint8_t> encodeRaw(const LtcTimecode& timecode);

    std::unique_ptr<LTCEncoder, Free> encoder_;
    int fps_;
    int sampleRate_;
};

} // namespace orvelo
