#include "playback/PlaybackEngine.h"

#include "platform/MainThread.h"

#include "platform/AllocatorLimits.h"
#include "platform/Log.h"
#include "platform/media/AudioFileInfo.h"
#include "playback/AudioTapHost.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsCompositor.h"

#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <utility>

namespace orvelo {

namespace {

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

// The engine's item as the audio analyser sees it. The item is ready (or failed) by the time
// it becomes current, so its tracks are known and the tap goes on at once.
class ItemAudioTap final : public AudioTapHost {
public:
    explicit ItemAudioTap(std::shared_ptr<MediaItem> item) : item_(std::move(item)) {}

    void installAudioTap(AudioSampleSink sink, std::function<void(const AudioTapSetup&)> done) override
    {
        AudioTapSetup setup;
        if (item_->status() != MediaItem::Status::readyToPlay) {
            setup.status = AudioTapSetup::Status::loadFailed;
            setup.error = item_->errorText().isEmpty() ? "the item is not ready" : item_->errorText().toStdString();
        } else if (!item_->hasAudio()) {
            setup.status = AudioTapSetup::Status::noAudioTrack;
        } else {
            item_->setAudioTap(std::move(sink));
        }
        if (done)
            done(setup);
    }

private:
    std::shared_ptr<MediaItem> item_;
};

} // namespace

PlaybackEngine::PlaybackEngine(QObject* parent) : QObject(parent)
{
    trimTimer_.setSingleShot(true);
    trimTimer_.setInterval(trimDelayMs);
    connect(&trimTimer_, &QTimer::timeout, this, [] { trimAllocatorSoon(); });
}

PlaybackEngine::~PlaybackEngine() = default;

void PlaybackEngine::loadAndPlay(const MediaTrack& track)
{
    assertMainThread();
    if (pendingTrackId_ == track.id)
        return;
    if (currentTrack_ && currentTrack_->id == track.id && isPlaying_)
        return;
    logLine("PlaybackEngine: loadAndPlay called for " + track.name.toStdString());
    pendingTrackId_ = track.id;
    followTimeline_.reset();
    const std::uint64_t request = ++loadRequest_;

    if (player_)
        player_->pause();
    error_.clear();
    paused_ = false;
    setIsPlaying(false);
    setIsLoading(true);
    setCurrentTime(0.0);
    setRemainingTime(0.0);
    setCurrentLoopCount(0);
    isEndingPlayback_ = false;

    // A missing file (a drive not mounted yet, a renamed clip) is told as such, and the
    // previous item goes: the cue stops what played before it.
    const QString path = track.url.toLocalFile();
    if (!track.url.isLocalFile() || !QFileInfo(path).isFile()) {
        if (player_)
            player_->replaceCurrentItem(nullptr);
        compositor_.reset();
        audioTapHost_.reset();
        currentTrack_ = track;
        emit currentTrackChanged();
        fail(QStringLiteral("File not found: ") + (path.isEmpty() ? track.url.toString() : path));
        return;
    }

    // The item prepares off the main thread; what follows runs once it is ready or failed (at
    // once for a track the preloader has ready). Every request's continuation runs, so that an
    // overtaken load is reported and let go.
    std::shared_ptr<MediaItem> item;
    std::shared_ptr<VideoEffectsCompositor> compositor;
    if (auto prepared = preloader_.take(track)) {
        item = std::move(prepared->item);
        compositor = std::move(prepared->compositor);
    } else {
        item = MediaItem::load(track.url.toLocalFile(), VideoComposition::sourceFormat());
        compositor = VideoComposition::attach(*item);
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    auto onStatus = [this, track, request, item, compositor, connection] {
        if (item->status() == MediaItem::Status::loading)
            return;
        disconnect(*connection);
        std::shared_ptr<VideoEffectsCompositor> attached;
        if (item->status() == MediaItem::Status::readyToPlay) {
            if (VideoComposition::hasRenderablePicture(*item)) {
                attached = compositor;
            } else {
                VideoComposition::detach(*item);
                logLine("PlaybackEngine: Skipping video composition for " + track.url.fileName().toStdString() +
                        " (invalid size or no video tracks)");
            }
        }
        continueLoad(track, request, item, std::move(attached));
    };
    *connection = connect(item.get(), &MediaItem::statusChanged, this, onStatus);
    if (item->status() != MediaItem::Status::loading)
        onStatus();
}

void PlaybackEngine::continueLoad(const MediaTrack& track, std::uint64_t request,
                                  const std::shared_ptr<MediaItem>& item,
                                  std::shared_ptr<VideoEffectsCompositor> compositor)
{
    // Comparing the request as well as the track: after A, B, A the first A's item is
    // overtaken too, or A would start and then restart when the second A's item arrives.
    if (pendingTrackId_ != track.id || request != loadRequest_) {
        logLine("PlaybackEngine: Aborting load for " + track.name.toStdString() + ", newer request exists");
        return;
    }
    const bool created = !player_;
    if (created) {
        player_ = new MediaPlayer(this);
        connect(player_, &MediaPlayer::positionChanged, this, &PlaybackEngine::handlePosition);
        connect(player_, &MediaPlayer::itemDidPlayToEnd, this, &PlaybackEngine::handleEnd);
        connect(player_, &MediaPlayer::itemEndReached, this, &PlaybackEngine::handleEndReached);
        connect(player_, &MediaPlayer::timelineSet, this, &PlaybackEngine::timelineSet);
    }
    // The first play's segment loops when the track plays more than once.
    const int n = repeatCount(track.id);
    endDecided_ = false;
    player_->setLoopAtEnd(n == 0 || n > 1);
    player_->replaceCurrentItem(item);
    // The previous item's pipeline is torn down by now or shortly: what it freed goes back to
    // the system a little later, once, however fast the cues come.
    if (!trimTimer_.isActive())
        trimTimer_.start();
    compositor_ = std::move(compositor);
    audioTapHost_ = std::make_shared<ItemAudioTap>(item);
    if (created)
        emit playerChanged();
    currentTrack_ = track;
    emit currentTrackChanged();
    if (followTimeline_) {
        const GroupTimeline timeline = *followTimeline_;
        followTimeline_.reset();
        applyTimeline(timeline);
    } else {
        player_->setRate(playbackRate_);
        setIsPlaying(true);
    }
    handleStatus(track);
}

void PlaybackEngine::reloadCurrent()
{
    assertMainThread();
    if (!currentTrack_ || isLoading_)
        return;
    const MediaTrack track = *currentTrack_;
    currentTrack_.reset();
    pendingTrackId_.reset();
    loadAndPlay(track);
}

void PlaybackEngine::followGroup(const MediaTrack& track, const GroupTimeline& timeline)
{
    assertMainThread();
    if (isLoading_ && pendingTrackId_ == track.id) {
        followTimeline_ = timeline; // applied once the item is ready
        return;
    }
    if (!currentTrack_ || currentTrack_->id != track.id || isLoading_) {
        loadAndPlay(track);
        followTimeline_ = timeline;
        return;
    }
    if (error_.isEmpty())
        applyTimeline(timeline);
}

void PlaybackEngine::applyTimeline(const GroupTimeline& timeline)
{
    isEndingPlayback_ = false;
    if (timeline.playing && timeline.rate > 0.0) {
        paused_ = false;
        player_->startAt(timeline.position, timeline.rate, timeline.clockTime);
        setIsPlaying(true);
        return;
    }
    player_->pause();
    player_->seek(timeline.position);
    paused_ = timeline.position > 0.0;
    setIsPlaying(false);
    setCurrentTime(timeline.position);
}

void PlaybackEngine::handleStatus(const MediaTrack& track)
{
    const auto& item = player_ ? player_->currentItem() : nullptr;
    if (!item)
        return;
    if (item->status() == MediaItem::Status::failed) {
        player_->pause();
        fail(item->errorText().isEmpty() ? QStringLiteral("unknown error") : item->errorText());
        return;
    }
    if (item->status() != MediaItem::Status::readyToPlay)
        return;
    logLine("PlaybackEngine: Track became ReadyToPlay: " + track.name.toStdString());
    setIsLoading(false);
    updateState();
    std::optional<double> d;
    if (QFileInfo(track.url.path()).suffix().toLower() == QLatin1String("flac")) {
        if (auto accurate = getAccurateAudioDuration(track.url)) {
            d = accurate;
            logLine("PlaybackEngine: Using AudioToolbox duration for FLAC: " + secondsText(*accurate) + "s");
        }
    }
    if (!d)
        d = item->duration();
    if (d && std::isfinite(*d) && *d > 0.0) {
        setDuration(*d);
        setRemainingTime(*d);
    }
    if (isPlaying_ && player_->rate() == 0.0)
        player_->setRate(playbackRate_);
}

void PlaybackEngine::fail(const QString& error)
{
    // Nothing plays after a failed load: saying otherwise would keep the console's resume
    // logic and every view believing a track runs. The reason stays until the next load.
    pendingTrackId_.reset();
    error_ = error;
    setIsLoading(false);
    setIsPlaying(false);
    logLine("PlaybackEngine: Failed to load track. Error: " + error.toStdString());
    updateState();
}

void PlaybackEngine::play()
{
    assertMainThread();
    if (isEndingPlayback_ || !error_.isEmpty() || !player_ || !player_->currentItem())
        return;
    paused_ = false;
    player_->setRate(playbackRate_);
    setIsPlaying(true);
}

void PlaybackEngine::stop()
{
    assertMainThread();
    // A console holding stop repeats it with every frame: stopped at the start already, a
    // flushing seek and a position report each time would only cost a core and timecode.
    if (state_ == PlaybackState::stopped && !isEndingPlayback_ && currentTime_ == 0.0)
        return;
    isEndingPlayback_ = false;
    endDecided_ = false;
    paused_ = false;
    error_.clear();
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
    assertMainThread();
    const bool pausedAfter = currentTrack_.has_value() && error_.isEmpty();
    if (!isPlaying_ && !isLoading_ && paused_ == pausedAfter)
        return; // held: nothing would change
    if (player_)
        player_->pause();
    paused_ = pausedAfter;
    setIsPlaying(false);
}

void PlaybackEngine::updateState()
{
    PlaybackState state = PlaybackState::stopped;
    if (!error_.isEmpty())
        state = PlaybackState::failed;
    else if (isLoading_)
        state = PlaybackState::loading;
    else if (isPlaying_)
        state = PlaybackState::playing;
    else if (paused_)
        state = PlaybackState::paused;
    if (state == state_)
        return;
    state_ = state;
    emit stateChanged(state);
}

void PlaybackEngine::handlePosition(double seconds)
{
    if (isEndingPlayback_)
        return;
    setCurrentTime(seconds);
    const auto& item = player_ ? player_->currentItem() : nullptr;
    if (const auto itemDuration = item ? item->duration() : std::nullopt;
        itemDuration && std::isfinite(*itemDuration) && std::abs(*itemDuration - duration_) > 0.5)
        setDuration(*itemDuration);
    setRemainingTime(std::max(0.0, duration_ - seconds));
}

void PlaybackEngine::handleEnd()
{
    if (!currentTrack_ || isEndingPlayback_)
        return;
    // A monotonic clock: a wall-clock step during a show must not swallow a real end.
    const auto now = std::chrono::steady_clock::now();
    if (lastEndTime_ && now - *lastEndTime_ <= std::chrono::milliseconds(duplicateEndMs))
        return;
    lastEndTime_ = now;
    const bool decided = std::exchange(endDecided_, false);
    setCurrentLoopCount(currentLoopCount_ + 1);
    const int n = decided ? currentLoopCount_ : repeatCount(currentTrack_->id);
    if (n == 0 || n > currentLoopCount_) {
        // A repeat keeps the speed the console set; restarting at the default rate would
        // silently undo a slowed or sped-up track at every loop. From here it loops without a
        // seam where the play after this one is not the last.
        player_->setLoopAtEnd(n == 0 || n > currentLoopCount_ + 1);
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
    QTimer::singleShot(endingWindowMs, this, [this] { isEndingPlayback_ = false; });
}

void PlaybackEngine::handleEndReached()
{
    if (!currentTrack_ || isEndingPlayback_)
        return;
    // The same question as at an end of stream, asked as the last frames are queued: the item
    // goes on from its start without a gap, or plays them out and ends (handleEnd, decided).
    const int played = currentLoopCount_ + 1;
    const int n = repeatCount(currentTrack_->id);
    const bool again = n == 0 || n > played;
    // The last play is counted when it has been seen to its end.
    if (again)
        setCurrentLoopCount(played);
    endDecided_ = !again;
    player_->setLoopAtEnd(again);
}

int PlaybackEngine::repeatCount(const QUuid& trackId) const
{
    return repeatCountProvider ? repeatCountProvider(trackId) : 1;
}

bool PlaybackEngine::currentItemHasVideo() const
{
    const auto& item = player_ ? player_->currentItem() : nullptr;
    return item && item->status() == MediaItem::Status::readyToPlay && item->hasVideo();
}

double PlaybackEngine::runningRate() const
{
    return isPlaying_ && player_ ? player_->rate() : 0.0;
}

double PlaybackEngine::positionOnShow() const
{
    return runningRate() > 0.0 ? player_->currentTime() : currentTime_;
}

void PlaybackEngine::setIsPlaying(bool playing)
{
    assertMainThread();
    isPlaying_ = playing;
    emit isPlayingChanged(playing);
    updateState();
}

void PlaybackEngine::setPlaybackRate(float rate)
{
    assertMainThread();
    if (rate == playbackRate_)
        return;
    playbackRate_ = rate;
    if (isPlaying_ && player_)
        player_->setRate(rate);
    emit playbackRateChanged(rate);
}

void PlaybackEngine::seek(double seconds)
{
    assertMainThread();
    if (!player_ || isLoading_ || !error_.isEmpty() || !currentTrack_)
        return;
    player_->seek(seconds);
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
    updateState();
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
