#pragma once

#include "platform/media/VideoFrame.h"

#include <cstddef>
#include <memory>

namespace orvelo {

// Recycles frames of one size and format: a stream of composed 1080p frames would otherwise
// allocate and clear 8 MB per frame. A frame handed out goes back to the pool when its last
// reference is dropped, on whatever thread that happens; frames may outlive the pool.
class VideoFramePool {
public:
    explicit VideoFramePool(std::size_t maxIdle = 3);
    ~VideoFramePool();
    VideoFramePool(const VideoFramePool&) = delete;
    VideoFramePool& operator=(const VideoFramePool&) = delete;

    // A frame with tightly packed planes and unspecified pixels. A request for another size or
    // format releases the idle frames of the previous one. Throws std::bad_alloc like new.
    std::shared_ptr<VideoFrame> acquire(int width, int height, PixelFormat format);

    std::size_t idleCount() const;

private:
    struct State;
    struct Recycler;
    std::shared_ptr<State> state_;
};

} // namespace orvelo
