#include "platform/media/VideoFramePool.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

namespace orvelo {

namespace {
// Six 1080p BGRA frames: what the playing track, two prepared ones and the output have in flight
// between them, so a steady show allocates nothing.
constexpr std::size_t sharedIdleBytes = 6 * 1920 * 1080 * 4;
} // namespace

struct VideoFramePool::State {
    mutable std::mutex mutex;
    std::deque<std::shared_ptr<VideoFrame>> idle; // oldest first
    std::size_t idleBytes = 0;
    std::size_t maxIdleBytes = 0;
};

// Deleter of a handed-out frame: keeps the real frame alive and gives it back to the pool.
struct VideoFramePool::Recycler {
    std::weak_ptr<State> pool;
    std::shared_ptr<VideoFrame> frame;

    void operator()(VideoFrame*)
    {
        auto owner = std::move(frame);
        std::vector<std::shared_ptr<VideoFrame>> freed;
        if (auto state = pool.lock()) {
            std::lock_guard lock(state->mutex);
            const std::size_t bytes = owner->data.size();
            if (bytes <= state->maxIdleBytes) {
                state->idle.push_back(std::move(owner));
                state->idleBytes += bytes;
                while (state->idleBytes > state->maxIdleBytes) {
                    state->idleBytes -= state->idle.front()->data.size();
                    freed.push_back(std::move(state->idle.front()));
                    state->idle.pop_front();
                }
            }
        }
        // Freed here, outside the pool's lock.
    }
};

VideoFramePool::VideoFramePool(std::size_t maxIdleBytes) : state_(std::make_shared<State>())
{
    state_->maxIdleBytes = maxIdleBytes;
}

VideoFramePool::~VideoFramePool() = default;

VideoFramePool& VideoFramePool::shared()
{
    static VideoFramePool pool(sharedIdleBytes);
    return pool;
}

std::shared_ptr<VideoFrame> VideoFramePool::acquire(int width, int height, PixelFormat format)
{
    std::shared_ptr<VideoFrame> frame;
    {
        std::lock_guard lock(state_->mutex);
        // The most recently returned of the shape: its pages are the likeliest still in cache.
        const auto match = std::find_if(state_->idle.rbegin(), state_->idle.rend(), [&](const auto& f) {
            return f->width == width && f->height == height && f->format == format;
        });
        if (match != state_->idle.rend()) {
            frame = std::move(*match);
            state_->idle.erase(std::next(match).base());
            state_->idleBytes -= frame->data.size();
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

std::size_t VideoFramePool::idleBytes() const
{
    std::lock_guard lock(state_->mutex);
    return state_->idleBytes;
}

} // namespace orvelo
