#include "playback/VideoEffectsCompositor.h"

#include "platform/SerialQueue.h"
#include "playback/VideoEffectsManager.h"

#include <algorithm>
#include <utility>

namespace orvelo {

VideoEffectsCompositor::VideoEffectsCompositor(const VideoEffectsManager& effects)
    : effects_(effects), queue_(std::make_unique<SerialQueue>(queueLabel))
{
}

VideoEffectsCompositor::VideoEffectsCompositor() : VideoEffectsCompositor(VideoEffectsManager::shared())
{
}

VideoEffectsCompositor::~VideoEffectsCompositor()
{
    // First stop the queue: its tasks use the history and the pipeline.
    queue_.reset();
}

void VideoEffectsCompositor::startRequest(VideoFramePtr source, FinishHandler finish)
{
    queue_->post([this, source = std::move(source), finish = std::move(finish)] { runRequest(source, finish); });
}

void VideoEffectsCompositor::renderContextChanged()
{
    queue_->post([this] { history_.clear(); });
}

void VideoEffectsCompositor::cancelAllPendingVideoCompositionRequests()
{
    queue_->post([this] { history_.clear(); });
}

VideoFramePtr VideoEffectsCompositor::latestFrame() const
{
    return latest_.load();
}

std::uint64_t VideoEffectsCompositor::finishedFrameCount() const
{
    return finishedFrames_.load(std::memory_order_relaxed);
}

std::size_t VideoEffectsCompositor::pendingCount() const
{
    return queue_->pendingCount();
}

void VideoEffectsCompositor::runRequest(const VideoFramePtr& source, const FinishHandler& finish)
{
    if (!source) {
        if (finish)
            finish({nullptr, CompositorError{"Compositor", -1, "No source frame"}});
        return;
    }
    const EffectParameters params = effects_.snapshot();
    history_.append(source);
    // As deep as the longest time shift: a shift turned on shows the newest frame until the
    // history has filled up to it.
    history_.keepNewest(1 + *std::max_element(params.timeShift.begin(), params.timeShift.end()));
    const EffectPipeline::Result result = pipeline_.compose(history_, params);
    latest_.store(result.frame);
    finishedFrames_.fetch_add(1, std::memory_order_relaxed);
    if (finish)
        finish({result.frame, std::nullopt});
}

} // namespace orvelo
