#include "playback/VideoPlayerView.h"

#include "platform/MainThread.h"
#include "platform/SerialQueue.h"
#include "platform/media/MediaPlayer.h"
#include "playback/BgraConverter.h"

#include <QPainter>

#include <mutex>

namespace orvelo {

// The preparing side: the newest job waiting (older ones are dropped), and the converter,
// which only the queue touches.
struct VideoPlayerView::Preparer {
    std::mutex mutex;
    std::optional<Job> waiting;
    bool scheduled = false;
    BgraConverter converter;
};

namespace {

// An image over a BGRA frame's pixels that keeps the frame alive while it lives.
QImage wrap(const VideoFramePtr& frame)
{
    auto* keep = new VideoFramePtr(frame);
    return QImage(
        frame->plane(0), frame->width, frame->height, frame->strides[0], QImage::Format_ARGB32_Premultiplied,
        [](void* info) { delete static_cast<VideoFramePtr*>(info); }, keep);
}

} // namespace

VideoPlayerView::VideoPlayerView(QObject* parent)
    : QObject(parent), preparer_(std::make_shared<Preparer>()), queue_(std::make_unique<SerialQueue>(queueLabel))
{
}

VideoPlayerView::~VideoPlayerView() = default;

void VideoPlayerView::setPlayer(MediaPlayer* player)
{
    if (player == player_)
        return;
    player_ = player;
    ++generation_;
    lastFrame_.reset();
    picture_ = QImage();
}

void VideoPlayerView::setViewEffects(std::optional<ViewEffects> effects)
{
    effects_ = effects;
}

void VideoPlayerView::refresh(QSize areaSize)
{
    if (!player_ || areaSize.isEmpty())
        return;
    VideoFramePtr frame = player_->latestFrame();
    if (!frame)
        return;
    if (frame == lastFrame_ && areaSize == lastSize_ && effects_ == lastEffects_)
        return;
    lastFrame_ = frame;
    lastSize_ = areaSize;
    lastEffects_ = effects_;

    std::lock_guard lock(preparer_->mutex);
    preparer_->waiting = Job{std::move(frame), areaSize, effects_, generation_};
    if (preparer_->scheduled)
        return;
    preparer_->scheduled = true;
    queue_->post([preparer = preparer_, view = this] {
        Job job;
        {
            std::lock_guard lock(preparer->mutex);
            job = std::move(*preparer->waiting);
            preparer->waiting.reset();
            preparer->scheduled = false;
        }
        const VideoFramePtr bgra = preparer->converter.convert(job.frame);
        if (!bgra)
            return;
        QImage picture = wrap(bgra);
        const QSize fitted = letterbox(picture.size(), QRect(QPoint(0, 0), job.areaSize)).size();
        if (!fitted.isEmpty() && fitted != picture.size())
            picture = picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (job.effects)
            job.effects->applyColour(picture);
        postToMain(view, [view, picture = std::move(picture), generation = job.generation]() mutable {
            view->accept(std::move(picture), generation);
        });
    });
}

void VideoPlayerView::accept(QImage picture, unsigned generation)
{
    if (generation != generation_)
        return;
    picture_ = std::move(picture);
    emit pictureReady();
}

void VideoPlayerView::paint(QPainter& painter, QRect area) const
{
    painter.fillRect(area, Qt::black);
    if (picture_.isNull())
        return;
    const QRect target = letterbox(picture_.size(), area);
    painter.save();
    if (effects_)
        painter.setOpacity(std::clamp(static_cast<double>(effects_->alpha), 0.0, 1.0));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, picture_);
    painter.restore();
}

QRect VideoPlayerView::letterbox(QSize frame, QRect area)
{
    if (frame.isEmpty() || area.isEmpty())
        return {};
    const QSize fitted = frame.scaled(area.size(), Qt::KeepAspectRatio);
    const QPoint corner(area.x() + (area.width() - fitted.width()) / 2,
                        area.y() + (area.height() - fitted.height()) / 2);
    return {corner, fitted};
}

} // namespace orvelo
