#include "playback/FrameHistory.h"

#include <algorithm>
#include <utility>

namespace orvelo {

namespace {
const VideoFramePtr noFrame;
}

void FrameHistory::append(VideoFramePtr frame)
{
    ring_[static_cast<std::size_t>(next_)] = std::move(frame);
    next_ = (next_ + 1) % capacity;
    if (count_ < capacity)
        ++count_;
}

void FrameHistory::keepNewest(int count)
{
    count = std::clamp(count, 1, capacity);
    for (; count_ > count; --count_)
        ring_[static_cast<std::size_t>((next_ - count_ + capacity) % capacity)].reset();
}

void FrameHistory::clear()
{
    for (auto& frame : ring_)
        frame.reset();
    next_ = 0;
    count_ = 0;
}

const VideoFramePtr& FrameHistory::delayed(int shift) const
{
    if (shift < 0)
        shift = 0;
    if (shift >= count_)
        return noFrame;
    const int slot = (next_ - 1 - shift + 2 * capacity) % capacity;
    return ring_[static_cast<std::size_t>(slot)];
}

} // namespace orvelo
