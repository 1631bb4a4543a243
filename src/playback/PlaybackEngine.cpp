#include "playback/PlaybackEngine.h"

#include "platform/Log.h"
#include "platform/media/AudioFileInfo.h"
#include "playback/VideoEffectsCompositor.h"

#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <future>

namespace orvelo {

namespace {

// How long the streaming thread waits for one composed frame before it shows the source
// frame instead: a stalled compositor must never stall playback.
constexpr auto kCompositionTimeout = std::chrono::milliseconds(250);

// Seconds as the log has always shown them: shortest exact form, with ".0" for whole values.
std::string secondsText(double seconds)
{
    QString text = QString::number(seconds, 'g', 17);
    const QString shortest = QString::number(seconds, 'g', 15);
    if (shortest.toDouble() == seconds)
        text = shortest;
    if (!text.contains('.') && !text.contains('e') && std::isfinite(seconds))
        text += ".0";
    return text.toStdString();
}

// Every frame of the item passes through its compositor; the streaming thread waits for the
// composed frame, which keeps frames in order and paced by the sink.
VideoFrameHook composeThrough(std::shared_ptr<VideoEffectsCompositor> compositor)
{
    return [compositor = std::move(compositor)](const VideoFramePtr& source) -> VideoFramePtr {
        auto done = std::make_shared<std::promise<VideoFramePtr>>();
        auto composed = done->get_future();
        compositor->startRequest(source, [done](const CompositionResult& result) { done->set_value(result.frame); });
        if (composed.wait_for(kCompositionTimeout) != std::future_status::ready)
            return source;
        VideoFramePtr frame = composed.get();
        return frame ? frame : source;
    };
}

} // namespace

PlaybackEngine::PlaybackEngine(QObject* parent) : QObject(parent) {}

PlaybackEngine::~PlaybackEngine() = default;

void PlaybackEngine::loadAndPlay(const MediaTrack& track)
{
    if (pendingTrackId_ == track.id)
        return;
    if (currentTrack_ && currentTrack_->id == track.id && isPlaying_)
        return;
    logLine("PlaybackEngine: loadAndPlay called for " + track.name.toStdString());
    pendingTrackId_ = track.id;

    if (player_)
        player_->pause();
    setIsPlaying(false);
    setIsLoading(true);
    setCurrentTime(0.0);
    setRemainingTime(0.0);
    setCurrentLoopCount(0);
    isEndingPlayback_ = false;

    // The item is prepared off the main thread; what follows runs once it is ready or failed.
    // A newer request replaces `loadingItem_`, but this continuation still runs for the older
    // item, so that the overtaken load is reported and let go.
    auto compositor = std::make_shared<VideoEffectsCompositor>();
    auto item = MediaItem::load(track.url.toLocalFile(), VideoEffectsCompositor::kSourcePixelFormat);
    // After a seek or a rate change the history no longer leads up to the next frame.
    item->setVideoFrameHook(composeThrough(compositor), [compositor] { compositor->renderContextChanged(); });
    loadingItem_ = item;
    auto connection = std::make_shared<QMetaObject::Connection>();
    auto onStatus = [this, track, item, compositor, connection] {
        if (item->status() == MediaItem::Status::Loading)
            return;
        disconnect(*connection);
        if (loadingItem_ == item)
            loadingItem_.reset();
        std::shared_ptr<VideoEffectsCompositor> attached;
        if (item->status() == MediaItem::Status::ReadyToPlay) {
            const QSize size = item->videoSize();
            if (item->hasVideo() && size.width() > 0 && size.height() > 0) {
                attached = compositor;
            } else {
                item->setVideoFrameHook({});
                logLine("PlaybackEngine: Skipping video composition for " + track.url.fileName().toStdString() +
                        " (invalid size or no video tracks)");
            }
        }
        continueLoad(track, item, attached);
    };
    *connection = connect(item.get(), &MediaItem::statusChanged, this, onStatus);
    if (item->status() != MediaItem::Status::Loading)
        onStatus();
}

void PlaybackEngine::continueLoad(const MediaTrack& track, std::shared_ptr<MediaItem> item,
                                  std::shared_ptr<VideoEffectsCompositor> compositor)
{
    if (pendingTrackId_ != track.id) {
        logLine("PlaybackEngine: Aborting load for " + track.name.toStdString() + ", newer request exists");
        return;
    }
    if (!player_) {
        player_ = new MediaPlayer(this);
        connect(player_, &MediaPlayer::positionChanged, this, &PlaybackEngine::handlePosition);
        connect(player_, &MediaPlayer::itemDidPlayToEnd, this, &PlaybackEngine::handleEnd);
        player_->replaceCurrentItem(std::move(item));
        emit playerChanged();
    } else {
        player_->replaceCurrentItem(std::move(item));
    }
    compositor_ = std::move(compositor);
    currentTrack_ = track;
    emit currentTrackChanged();
    player_->setRate(playbackRate_);
    setIsPlaying(true);
    handleStatus(track);
}

void PlaybackEngine::handleStatus(const MediaTrack& track)
{
    const auto& item = player_ ? player_->currentItem() : nullptr;
    if (!item)
        return;
    if (item->status() == MediaItem::Status::Failed) {
        setIsLoading(false);
        pendingTrackId_.reset();
        // Nothing plays after a failed load: saying otherwise would keep the console's
        // resume logic and every view believing a track runs.
        player_->pause();
        setIsPlaying(false);
        const QString error = item->errorText().isEmpty() ? QStringLiteral("unknown error") : item->errorText();
        logLine("PlaybackEngine: Failed to load track. Error: " + error.toStdString());
        return;
    }
    if (item->status() != MediaItem::Status::ReadyToPlay)
        return;
    logLine("PlaybackEngine: Track became ReadyToPlay: " + track.name.toStdString());
    setIsLoading(false);
    std::optional<double> d;
    if (QFileInfo(track.url.path()).suffix().toLower() == QLatin1String("flac")) {
        if (auto accurate = getAccurateAudioDuration(track.url)) {
            d = accurate;
            logLine("PlaybackEngine: Using AudioToolbox duration for FLAC: " + secondsText(*accurate) + "s");
        }
    }
    if (!d)
        d = item->duration();
    if (d && *d > 0.0) {
        setDuration(*d);
        setRemainingTime(*d);
    }
    if (isPlaying_ && player_->rate() == 0.0)
        player_->setRate(playbackRate_);
}

void PlaybackEngine::play()
{
    if (isEndingPlayback_)
        return;
    if (player_)
        player_->setRate(playbackRate_);
    setIsPlaying(true);
}

void PlaybackEngine::stop()
{
    isEndingPlayback_ = false;
    if (player_) {
        player_->pause();
        player_->seekToZero();
    }
    setIsPlaying(false);
    setCurrentTime(0.0);
    setRemainingTime(duration_);
}

void PlaybackEngine::pause()
{
    if (player_)
        player_->pause();
    setIsPlaying(false);
}

void PlaybackEngine::handlePosition(double seconds)
{
    if (isEndingPlayback_)
        return;
    setCurrentTime(seconds);
    const auto& item = player_ ? player_->currentItem() : nullptr;
    if (item && item->duration() && std::isfinite(*item->duration()) && std::abs(*item->duration() - duration_) > 0.5)
        setDuration(*item->duration());
    setRemainingTime(std::max(0.0, duration_ - seconds));
}

void PlaybackEngine::handleEnd()
{
    if (!currentTrack_ || isEndingPlayback_)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (lastEndTime_.isValid() && lastEndTime_.msecsTo(now) <= 500)
        return;
    lastEndTime_ = now;
    setCurrentLoopCount(currentLoopCount_ + 1);
    const int n = repeatCountProvider ? repeatCountProvider(currentTrack_->id) : 1;
    if (n == 0 || n > currentLoopCount_) {
        // A repeat keeps the speed the console set; restarting at the default rate would
        // silently undo a slowed or sped-up track at every loop.
        player_->seekToZero();
        player_->setRate(playbackRate_);
        return;
    }
    isEndingPlayback_ = true;
    player_->pause();
    setIsPlaying(false);
    setCurrentTime(duration_);
    setRemainingTime(0.0);
    if (onPlaybackEndedCallback)
        onPlaybackEndedCallback();
    QTimer::singleShot(kEndingWindowMs, this, [this] { isEndingPlayback_ = false; });
}

bool PlaybackEngine::currentItemHasVideo() const
{
    const auto& item = player_ ? player_->currentItem() : nullptr;
    return item && item->status() == MediaItem::Status::ReadyToPlay && item->hasVideo();
}

void PlaybackEngine::setIsPlaying(bool playing)
{
    isPlaying_ = playing;
    emit isPlayingChanged(playing);
}

void PlaybackEngine::setPlaybackRate(float rate)
{
    playbackRate_ = rate;
    emit playbackRateChanged(rate);
}

void PlaybackEngine::setCurrentTime(double seconds)
{
    currentTime_ = seconds;
    emit currentTimeChanged(seconds);
}

void PlaybackEngine::setDuration(double seconds)
{
    duration_ = seconds;
    emit durationChanged(seconds);
}

void PlaybackEngine::setRemainingTime(double seconds)
{
    remainingTime_ = seconds;
    emit remainingTimeChanged(seconds);
}

void PlaybackEngine::setIsLoading(bool loading)
{
    isLoading_ = loading;
    emit isLoadingChanged(loading);
}

void PlaybackEngine::setCurrentLoopCount(int count)
{
    currentLoopCount_ = count;
    emit currentLoopCountChanged(count);
}

std::optional<double> getAccurateAudioDuration(const QUrl& url)
{
    const auto info = readAudioFileInfo(url.toLocalFile().toStdString());
    if (!info || info->sampleRate <= 0.0)
        return std::nullopt;
    const double framesPerPacket = info->framesPerPacket == 0 ? 1.0 : info->framesPerPacket;
    return static_cast<double>(info->packetCount) * framesPerPacket / info->sampleRate;
}

} // namespace orvelo
