#pragma once

#include "platform/media/VideoFrame.h"
#include "playback/ComponentRowReader.h"
#include "playback/EffectParameters.h"
#include "playback/FrameHistory.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orvelo {

// Applies the live effects to the newest frame of a history: per-channel time shift (colour
// trails), displacement (bilinear for fractional pixels), enable, colour controls and
// inversion, in that order, giving a BGRA frame of the newest frame's size. It keeps no
// history of its own, so the compositor and the NDI sender each drive one with theirs.
// Not thread-safe: one pipeline per thread of use.
//
// Per output pixel and channel c: the component is that of the colour-controlled frame delayed
// by c's shift, sampled at (x - dx, y + dy) (dy > 0 moves up), zero where it falls off the
// frame. Alpha is 255 wherever some enabled channel covers the pixel; a pixel no channel covers
// is transparent black, also when inverted. Inversion turns c into 255 - c.
class EffectPipeline {
public:
    enum class Outcome {
        composed,       // `frame` is a new BGRA frame
        passThrough,    // neutral parameters: `frame` is the newest frame itself
        missingHistory, // a channel's delay reaches past the history: `frame` is the newest
        noOutputFrame,  // no memory for the output: `frame` is the newest
        unreadable,     // the newest frame's planes do not fit its data: `frame` is the newest
        noSource,       // empty history: `frame` is null
    };
    struct Result {
        Outcome outcome;
        VideoFramePtr frame;
    };

    Result compose(const FrameHistory& history, const EffectParameters& params);

private:
    struct Channel {
        bool present = false; // enabled and within reach of the frame
        ComponentRowReader reader;
        int dx = 0;         // output column x reads source columns x - dx and x - dx - 1 ...
        int dxFraction = 0; // ... weighted (256 - dxFraction) and dxFraction
        int dy = 0;         // output row y reads source rows y + dy and y + dy + 1 ...
        int dyFraction = 0; // ... weighted (256 - dyFraction) and dyFraction
        int firstRow = 0;   // output rows [firstRow, endRow) see some of the source
        int endRow = 0;
        int firstColumn = 0; // likewise for columns
        int endColumn = 0;
        std::array<std::vector<std::uint8_t>, 2> rows; // the last source rows read, padded
        std::array<int, 2> rowIndex{-1, -1};
        int recent = 0;                    // slot read last
        std::vector<std::uint8_t> blended; // vertical blend of two rows, padded
    };

    void resize(int width, int height);
    void planChannel(Channel& channel, const VideoFrame& delayed, const EffectParameters& params, int c);
    const std::uint8_t* sourceRow(Channel& channel, int row);
    const std::uint8_t* channelRow(Channel& channel, int y);
    void composeRow(int y, bool inverted, std::uint8_t* out);

    int width_ = 0;
    int height_ = 0;
    int pad_ = 0; // zero bytes on each side of a row buffer
    std::array<Channel, colorChannelCount> channels_;
    std::vector<std::uint8_t> zeroRow_;
    std::vector<std::uint8_t> coverage_;
};

} // namespace orvelo
