#pragma once

#include "platform/media/VideoFrame.h"

#include <QSize>

#include <cstdint>
#include <vector>

namespace orvelo {

// Scales BGRA frames down by a whole divisor for the NDI source: each output pixel is the
// average of the divisor x divisor block it stands for. Not thread-safe: one per thread of use.
class NDIFrameScaler {
public:
    // Width and height divided and rounded down to even numbers: 1366 x 768 by 3 is 454 x 256.
    static QSize scaledSize(QSize source, int divisor);

    // A new frame of scaledSize(); null for a malformed or non-BGRA frame, a divisor below 2,
    // a result without pixels, or no memory.
    VideoFramePtr scale(const VideoFrame& source, int divisor);

private:
    std::vector<std::uint32_t> sums_;
};

} // namespace orvelo
