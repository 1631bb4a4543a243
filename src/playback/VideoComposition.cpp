#include "playback/VideoComposition.h"

#include "playback/VideoEffectsCompositor.h"

#include <chrono>
#include <future>

namespace orvelo {

std::shared_ptr<VideoEffectsCompositor> VideoComposition::attach(MediaItem& item)
{
    auto compositor = std::make_shared<VideoEffectsCompositor>();
    // The streaming thread waits for each composed frame, which keeps frames in order and
    // paced by the sink's clock. The hook owns the compositor, so a frame in flight never
    // outlives it.
    VideoFrameHook compose = [compositor](const VideoFramePtr& source) -> VideoFramePtr {
        auto done = std::make_shared<std::promise<VideoFramePtr>>();
        auto composed = done->get_future();
        compositor->startRequest(source, [done](const CompositionResult& result) { done->set_value(result.frame); });
        if (composed.wait_for(std::chrono::milliseconds(frameTimeoutMs)) != std::future_status::ready)
            return source;
        VideoFramePtr frame = composed.get();
        return frame ? frame : source;
    };
    // After a seek or a rate change the history no longer leads up to the next frame.
    item.setVideoFrameHook(std::move(compose), [compositor] { compositor->renderContextChanged(); });
    return compositor;
}

void VideoComposition::detach(MediaItem& item)
{
    item.setVideoFrameHook({});
}

bool VideoComposition::hasRenderablePicture(const MediaItem& item)
{
    const QSize size = item.videoSize();
    return item.status() == MediaItem::Status::readyToPlay && item.hasVideo() && size.width() > 0 && size.height() > 0;
}

PixelFormat VideoComposition::sourceFormat()
{
    return VideoEffectsCompositor::sourcePixelFormat;
}

} // namespace orvelo
