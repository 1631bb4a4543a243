#pragma once

#include "platform/media/VideoFrame.h"
#include "playback/ComponentRowReader.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orvelo {

// Turns the frames the compositor publishes into BGRA for those that need RGB pixels (painters,
// the NDI sender, thumbnails): a neutral compositor passes its I420 source frames on unchanged.
// Uses the same YUV-to-RGB arithmetic as the effects. Not thread-safe: one per thread of use.
class BgraConverter {
public:
    // A BGRA frame comes back as it is; an I420 frame as a new BGRA frame; null for a null or
    // malformed frame, or when there is no memory for the result.
    VideoFramePtr convert(const VideoFramePtr& frame);

private:
    std::array<ComponentRowReader, 3> readers_;
    std::array<std::vector<std::uint8_t>, 3> rows_;
};

} // namespace orvelo
