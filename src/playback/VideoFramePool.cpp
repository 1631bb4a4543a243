#include "playback/VideoFramePool.h"

#include <mutex>
#include <utility>
#include <vector>

namespace orvelo {

struct VideoFramePool::State {
    std::mutex mutex;
    std::vector<std::shared_ptr<VideoFrame>> idle;
    std::size_t maxIdle = 0;
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::bgra;
};

// Deleter of a handed-out frame: keeps the real frame alive and gives it back to the pool.
struct VideoFramePool::Recycler {
    std::weak_ptr<State> pool;
    std::shared_ptr<VideoFrame> frame;

    void operator()(VideoFrame*)
    {
        auto owner = std::move(frame);
        if (auto state = pool.lock()) {
            std::lock_guard lock(state->mutex);
            if (owner->width == state->width && owner->height == state->height && owner->format == state->format &&
                state->idle.size() < state->maxIdle) {
                state->idle.push_back(std::move(owner));
                return;
            }
        }
        // Freed here, outside the pool's lock.
    }
};

VideoFramePool::VideoFramePool(std::size_t maxIdle) : state_(std::make_shared<State>())
{
    state_->maxIdle = maxIdle;
}

VideoFramePool::~VideoFramePool() = default;

std::shared_ptr<VideoFrame> VideoFramePool::acquire(int width, int height, PixelFormat format)
{
    std::shared_ptr<VideoFrame> frame;
    std::vector<std::shared_ptr<VideoFrame>> released;
    {
        std::lock_guard lock(state_->mutex);
        if (width != state_->width || height != state_->height || format != state_->format) {
            released.swap(state_->idle);
            state_->width = width;
            state_->height = height;
            state_->format = format;
        } else if (!state_->idle.empty()) {
            frame = std::move(state_->idle.back());
            state_->idle.pop_back();
        }
    }
    if (!frame)
        frame = VideoFrame::allocate(width, height, format);
    frame->pts = 0.0;
    frame->runningTime = 0.0;
    frame->yuvMatrix = YuvMatrix::bt709;
    frame->yuvFullRange = false;
    VideoFrame* raw = frame.get();
    return std::shared_ptr<VideoFrame>(raw, Recycler{state_, std::move(frame)});
}

std::size_t VideoFramePool::idleCount() const
{
    std::lock_guard lock(state_->mutex);
    return state_->idle.size();
}

} // namespace orvelo
