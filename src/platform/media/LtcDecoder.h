#pragma once

#include "platform/media/LtcTimecode.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct LTCDecoder;

namespace orvelo {

// Finds linear timecode in a mono audio stream fed in pieces of any size. Every complete frame
// comes back with where it lies in the stream, counted in samples, so a caller can tell when it
// started. Words that do not name a time (damaged signal, noise that happens to look like a
// frame) are dropped. After silence or noise, timecode is found again within about half a
// second of its return. Not thread-safe: one thread at a time.
class LtcDecoder {
public:
    struct Frame {
        LtcTimecode timecode;
        // Positions in the stream of the frame's first and last sample (startSample <= endSample).
        // The frame describes the moment where its signal begins: startSample, or endSample when
        // it ran backwards. It is known only once endSample has been fed. Exact to a sample or
        // two in a running signal; the first frame after a gap is placed only roughly.
        std::int64_t startSample = 0;
        std::int64_t endSample = 0;
        // The signal ran backwards (a tape or a timeline played in reverse).
        bool reverse = false;
    };

    // `sampleRate` in samples per second; `expectedFps` only tunes the first frame's detection,
    // the decoder follows any of 24, 25 or 30 and changes of speed.
    explicit LtcDecoder(int sampleRate, int expectedFps = 25);
    LtcDecoder(LtcDecoder&&) noexcept;
    LtcDecoder& operator=(LtcDecoder&&) noexcept;
    ~LtcDecoder();

    // Feeds the next samples (floats in -1..1, louder is clipped) and returns the frames that
    // ended within them, oldest first.
    std::vector<Frame> write(std::span<const float> samples);
    std::vector<Frame> write(std::span<const std::int16_t> samples);

    // Position of the next sample fed; starts at 0 and advances by every sample written.
    std::int64_t position() const { return position_; }
    // Continues the count at `position`, for input that skipped or repeated samples.
    void setPosition(std::int64_t position) { position_ = lastFound_ = position; }

private:
    struct Free {
        void operator()(LTCDecoder* decoder) const noexcept;
    };

    // Samples in the library's format (unsigned 8 bit, centred on 128), at most one chunk.
    void feed(const std::uint8_t* samples, std::size_t count, std::vector<Frame>& frames);

    std::unique_ptr<LTCDecoder, Free> decoder_;
    int samplesPerFrame_;
    int restartAfter_; // samples without a frame
    std::int64_t position_ = 0;
    std::int64_t lastFound_ = 0; // position after the last frame found, or of the last restart
};

} // namespace orvelo
