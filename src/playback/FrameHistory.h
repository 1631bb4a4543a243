#pragma once

#include "platform/media/VideoFrame.h"

#include <array>
#include <cstddef>

namespace orvelo {

// The last frames seen, oldest first, newest last, at most capacity of them. A time shift of
// n frames reads the entry n places before the newest. Frames are shared, never copied: the
// history costs one pointer per frame on top of the frames themselves, so its memory depends
// on the form the frames arrive in (I420 at 1080p: 3.1 MB each, BGRA: 8.3 MB).
class FrameHistory {
public:
    static constexpr int capacity = 60;

    // Appends as the newest; the oldest frame drops out once capacity are held.
    void append(VideoFramePtr frame);
    // Lets go of all but the newest `count` frames (at least one): a history kept only as deep
    // as the time shifts in use holds one frame, not sixty, while none is (190 MB at 1080p).
    void keepNewest(int count);
    void clear();

    int size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // The frame `shift` places before the newest (0 = newest, negative counts as 0), or null
    // when the history is not that long yet. The largest shift ever found is capacity - 1.
    const VideoFramePtr& delayed(int shift) const;
    const VideoFramePtr& newest() const { return delayed(0); }

private:
    std::array<VideoFramePtr, capacity> ring_{};
    int next_ = 0; // slot the next frame goes to
    int count_ = 0;
};

} // namespace orvelo
