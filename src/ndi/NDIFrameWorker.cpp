#include "ndi/NDIFrameWorker.h"

#include <QImage>

#include <new>

namespace orvelo {

VideoFramePtr NDIFrameWorker::render(const NDIFrameJob& job)
{
    return job.source == NDIFrameJob::Source::video ? renderVideo(job) : renderPattern(job);
}

bool NDIFrameWorker::process(const NDIFrameJob& job)
{
    const VideoFramePtr frame = render(job);
    if (!frame || !job.sender || frame->data.empty())
        return false;
    job.sender->sendVideo(describe(*frame, job.fps));
    return true;
}

void NDIFrameWorker::reset()
{
    history_.clear();
    lastVideoSource_.reset();
    lastVideoResult_.reset();
    lastVideoDivisor_ = 0;
}

VideoFramePtr NDIFrameWorker::renderVideo(const NDIFrameJob& job)
{
    history_.clear();
    if (job.video == lastVideoSource_ && job.divisor == lastVideoDivisor_ && lastVideoResult_)
        return lastVideoResult_;
    VideoFramePtr frame = scaled(converter_.convert(job.video), job.divisor);
    lastVideoSource_ = job.video;
    lastVideoDivisor_ = job.divisor;
    lastVideoResult_ = frame;
    return frame;
}

VideoFramePtr NDIFrameWorker::renderPattern(const NDIFrameJob& job)
{
    lastVideoSource_.reset();
    lastVideoResult_.reset();
    if (!patternBuffer_ || patternBuffer_->width != patternWidth || patternBuffer_->height != patternHeight) {
        try {
            patternBuffer_ = VideoFrame::allocate(patternWidth, patternHeight, PixelFormat::bgra);
        } catch (const std::bad_alloc&) {
            patternBuffer_.reset();
            return nullptr;
        }
    }
    if (!renderer_ || renderer_->pattern() != job.pattern)
        renderer_ = std::make_unique<PatternRenderer>(job.pattern, PatternRenderer::Style::flat);
    // Premultiplied ARGB32 is B, G, R, A in memory: the frame's own layout.
    QImage canvas(patternBuffer_->plane(0), patternWidth, patternHeight, patternBuffer_->strides[0],
                  QImage::Format_ARGB32_Premultiplied);
    renderer_->draw(canvas, job.patternFrame);

    history_.append(patternBuffer_);
    const EffectPipeline::Result result = pipeline_.compose(history_, job.effects);
    switch (result.outcome) {
    case EffectPipeline::Outcome::composed:
    case EffectPipeline::Outcome::passThrough:
    case EffectPipeline::Outcome::missingHistory:
        return scaled(result.frame, job.divisor);
    case EffectPipeline::Outcome::noOutputFrame:
    case EffectPipeline::Outcome::unreadable:
    case EffectPipeline::Outcome::noSource:
        break;
    }
    return nullptr;
}

VideoFramePtr NDIFrameWorker::scaled(const VideoFramePtr& frame, int divisor)
{
    if (!frame || divisor <= 1)
        return frame;
    return scaler_.scale(*frame, divisor);
}

ndi::VideoFrameV2 NDIFrameWorker::describe(const VideoFrame& frame, NDIFPS fps)
{
    ndi::VideoFrameV2 v;
    v.xres = frame.width;
    v.yres = frame.height;
    v.fourCC = ndi::fourCCBGRA;
    v.frameRateN = frameRateNumerator(fps);
    v.frameRateD = frameRateDenominator(fps);
    v.pictureAspectRatio = frame.height > 0 ? static_cast<float>(frame.width) / static_cast<float>(frame.height) : 0.0f;
    v.frameFormatType = ndi::frameFormatProgressive;
    v.timecode = ndi::timecodeSynthesize;
    // The runtime only reads the pixels.
    v.data = const_cast<std::uint8_t*>(frame.plane(0));
    v.lineStrideInBytes = frame.strides[0];
    v.metadata = nullptr;
    v.timestamp = 0;
    return v;
}

} // namespace orvelo
