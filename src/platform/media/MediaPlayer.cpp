#include "platform/media/MediaPlayer.h"

#include "platform/MainThread.h"

#include <cmath>

namespace orvelo {

MediaPlayer::MediaPlayer(QObject* parent) : QObject(parent)
{
    positionTimer_.setTimerType(Qt::PreciseTimer);
    positionTimer_.setInterval(static_cast<int>(std::lround(positionInterval * 1000)));
    connect(&positionTimer_, &QTimer::timeout, this, &MediaPlayer::reportPosition);
}

MediaPlayer::~MediaPlayer()
{
    if (item_)
        item_->setRate(0.0);
}

void MediaPlayer::replaceCurrentItem(std::shared_ptr<MediaItem> item)
{
    assertMainThread();
    if (item == item_)
        return;
    if (item_) {
        disconnect(item_.get(), nullptr, this, nullptr);
        item_->setRate(0.0);
    }
    item_ = std::move(item);
    if (item_) {
        MediaItem* raw = item_.get();
        connect(raw, &MediaItem::playedToEnd, this, &MediaPlayer::itemDidPlayToEnd);
        connect(raw, &MediaItem::endReached, this, &MediaPlayer::itemEndReached);
        connect(raw, &MediaItem::timelineSet, this, &MediaPlayer::timelineSet);
        connect(raw, &MediaItem::statusChanged, this, [this, raw] {
            if (raw->status() == MediaItem::Status::failed)
                emit itemFailed(raw->errorText());
            updatePositionTimer();
        });
        item_->setMuted(muted_);
        item_->setLoopAtEnd(loopAtEnd_);
        item_->setRate(rate_);
    }
    updatePositionTimer();
    emit currentItemChanged();
}

void MediaPlayer::setRate(double rate)
{
    assertMainThread();
    rate_ = rate > 0.0 ? rate : 0.0;
    if (item_)
        item_->setRate(rate_);
    updatePositionTimer();
    reportPosition();
    emit rateChanged();
}

void MediaPlayer::startAt(double position, double rate, std::uint64_t clockTime)
{
    assertMainThread();
    rate_ = rate > 0.0 ? rate : 0.0;
    if (item_)
        item_->startAt(position, rate_, clockTime);
    updatePositionTimer();
    reportPosition();
    emit rateChanged();
}

void MediaPlayer::seekToZero()
{
    assertMainThread();
    if (!item_)
        return;
    item_->seekToZero();
    reportPosition();
}

void MediaPlayer::seek(double seconds)
{
    assertMainThread();
    if (!item_)
        return;
    item_->seek(seconds);
    reportPosition();
}

void MediaPlayer::setLoopAtEnd(bool loop)
{
    assertMainThread();
    loopAtEnd_ = loop;
    if (item_)
        item_->setLoopAtEnd(loop);
}

void MediaPlayer::setMuted(bool muted)
{
    assertMainThread();
    muted_ = muted;
    if (item_)
        item_->setMuted(muted);
}

double MediaPlayer::currentTime() const
{
    return item_ ? item_->currentTime() : 0.0;
}

VideoFramePtr MediaPlayer::latestFrame() const
{
    return item_ ? item_->latestFrame() : nullptr;
}

void MediaPlayer::updatePositionTimer()
{
    const bool playing = rate_ > 0.0 && item_ && item_->status() == MediaItem::Status::readyToPlay;
    if (playing && !positionTimer_.isActive())
        positionTimer_.start();
    else if (!playing)
        positionTimer_.stop();
}

void MediaPlayer::reportPosition()
{
    if (item_ && item_->status() == MediaItem::Status::readyToPlay)
        emit positionChanged(item_->currentTime());
}

} // namespace orvelo
