#pragma once

#include "platform/media/VideoFrame.h"

#include <cstddef>
#include <memory>

namespace orvelo {

// Recycles frames: a stream of 1080p frames would otherwise allocate 3 to 8 MB per frame, and
// the allocator keeps much of what a night of such churn frees. Frames of any size and format
// are kept; a frame handed out goes back when its last reference is dropped, on whatever thread
// that happens, and frames may outlive the pool. Idle frames are held up to a byte budget, the
// least recently returned freed first.
class VideoFramePool {
public:
    explicit VideoFramePool(std::size_t maxIdleBytes = 32u << 20);
    ~VideoFramePool();
    VideoFramePool(const VideoFramePool&) = delete;
    VideoFramePool& operator=(const VideoFramePool&) = delete;

    // The one pool the decoded and the composed frames of every track come from, so a track
    // cued next reuses the frames of the one before it.
    static VideoFramePool& shared();

    // A frame with tightly packed planes and unspecified pixels. Throws std::bad_alloc like new.
    std::shared_ptr<VideoFrame> acquire(int width, int height, PixelFormat format);

    std::size_t idleCount() const;
    std::size_t idleBytes() const;

private:
    struct State;
    struct Recycler;
    std::shared_ptr<State> state_;
};

} // namespace orvelo
