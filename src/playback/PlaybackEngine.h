#pragma once

#include "platform/media/MediaItem.h"
#include "platform/media/MediaPlayer.h"
#include "playback/MediaTrack.h"
#include "playback/PlaybackState.h"
#include "playback/TrackPreloader.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace orvelo {

class AudioTapHost;
class VideoEffectsCompositor;

// Plays one playlist track at a time through one reusable media player: loads asynchronously,
// lets a newer request overtake an older load, attaches the effects compositor to every item
// with a picture, publishes position 25 times a second, and repeats a finished track as often
// as the controller says. Main thread only; what to play is the controller's decision.
class PlaybackEngine : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double currentTime READ currentTime NOTIFY currentTimeChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(double remainingTime READ remainingTime NOTIFY remainingTimeChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(float playbackRate READ playbackRate WRITE setPlaybackRate NOTIFY playbackRateChanged)
    Q_PROPERTY(int currentLoopCount READ currentLoopCount NOTIFY currentLoopCountChanged)
    Q_PROPERTY(QString error READ error NOTIFY stateChanged)
public:
    // How long a finished track is held at its end before play() works again.
    static constexpr int endingWindowMs = 500;
    // End notifications closer together than this are one end reported twice.
    static constexpr int duplicateEndMs = 500;
    // How long after a switch the allocator's free memory is handed back.
    static constexpr int trimDelayMs = 1000;

    explicit PlaybackEngine(QObject* parent = nullptr);
    ~PlaybackEngine() override;

    // A track whose file is missing fails at once, without a load: nothing plays.
    void loadAndPlay(const MediaTrack& track);
    // Resumes from where the player stands (no seek), at `playbackRate`. Does nothing without
    // a playable item (nothing loaded, or the load failed): a failure never reads as playing.
    void play();
    // Back to the start, paused; the current track stays; a failure is cleared.
    void stop();
    // What the console's pause does: the player halts where it stands.
    void pause();
    // Moves the picture to `seconds` within the current track, playing or paused as it was;
    // nothing while a track loads or has failed.
    void seek(double seconds);
    // Loads the current track afresh and plays it: what a change of clock needs.
    void reloadCurrent();
    // A sync group's follower: shows `track` as the leader's timeline says, loading it first
    // when it is not the current one.
    void followGroup(const MediaTrack& track, const GroupTimeline& timeline);

    PlaybackState state() const { return state_; }
    // Why the current track cannot play; empty unless the state is failed.
    const QString& error() const { return error_; }
    // The track last asked for; while `isLoading`, the one whose load is under way.
    const std::optional<QUuid>& pendingTrackId() const { return pendingTrackId_; }

    // Created on the first load and reused; null before.
    MediaPlayer* player() const { return player_; }
    // The tracks kept ready to start; a load takes its track from here when it is prepared.
    TrackPreloader& preloader() { return preloader_; }

    bool isPlaying() const { return isPlaying_; }
    void setIsPlaying(bool playing);
    double currentTime() const { return currentTime_; }
    // The speed the picture moves at now: the player's rate while playing, else 0.
    double runningRate() const;
    // Where the picture stands: the pipeline's position while it moves, else the position the
    // engine holds (the start after a stop, the end after the last repeat).
    double positionOnShow() const;
    double duration() const { return duration_; }
    double remainingTime() const { return remainingTime_; }
    bool isLoading() const { return isLoading_; }
    float playbackRate() const { return playbackRate_; }
    // The speed of the next play, and of the current one while it plays.
    void setPlaybackRate(float rate);
    int currentLoopCount() const { return currentLoopCount_; }
    const std::optional<MediaTrack>& currentTrack() const { return currentTrack_; }
    // Whether the current item has a picture (known once it is ready).
    bool currentItemHasVideo() const;
    // The compositor of the current item, while it has a picture.
    std::shared_ptr<VideoEffectsCompositor> currentCompositor() const { return compositor_; }
    // The current item as the audio analyser attaches to it: the same object for as long as
    // the item is current, null before the first load.
    std::shared_ptr<AudioTapHost> audioTapHost() const { return audioTapHost_; }

    // Installed by the controller: how many times a track plays (0 = without end), and what
    // to do once it has played out.
    std::function<int(const QUuid& trackId)> repeatCountProvider;
    std::function<void()> onPlaybackEndedCallback;

signals:
    void playerChanged();
    void isPlayingChanged(bool isPlaying);
    void currentTimeChanged(double seconds);
    void durationChanged(double seconds);
    void remainingTimeChanged(double seconds);
    void isLoadingChanged(bool isLoading);
    void playbackRateChanged(float rate);
    void currentLoopCountChanged(int count);
    // Every time a load sets the current track, also to the same track again.
    void currentTrackChanged();
    void stateChanged(orvelo::PlaybackState state);
    // On the group clock: the current track's timeline as each start, pause or seek sets it.
    void timelineSet(const orvelo::GroupTimeline& timeline);

private:
    void continueLoad(const MediaTrack& track, std::uint64_t request, const std::shared_ptr<MediaItem>& item,
                      std::shared_ptr<VideoEffectsCompositor> compositor);
    void handleStatus(const MediaTrack& track);
    void applyTimeline(const GroupTimeline& timeline);
    void fail(const QString& error);
    void updateState();
    void handlePosition(double seconds);
    void handleEnd();
    // A play of a looping item is ending: one more play counted, and whether it goes on.
    void handleEndReached();
    // How many times the controller says the track plays (0 = without end); once without one.
    int repeatCount(const QUuid& trackId) const;
    void setCurrentTime(double seconds);
    void setDuration(double seconds);
    void setRemainingTime(double seconds);
    void setIsLoading(bool loading);
    void setCurrentLoopCount(int count);

    TrackPreloader preloader_;
    QTimer trimTimer_;
    QPointer<MediaPlayer> player_;
    std::shared_ptr<VideoEffectsCompositor> compositor_;
    std::shared_ptr<AudioTapHost> audioTapHost_;
    bool isPlaying_ = false;
    double currentTime_ = 0.0;
    double duration_ = 0.0;
    double remainingTime_ = 0.0;
    bool isLoading_ = false;
    float playbackRate_ = 1.0f;
    int currentLoopCount_ = 0;
    std::optional<MediaTrack> currentTrack_;
    PlaybackState state_ = PlaybackState::stopped;
    QString error_;
    bool paused_ = false;
    bool isEndingPlayback_ = false;
    // The coming end of stream was counted and decided as its last frames were queued.
    bool endDecided_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastEndTime_;
    std::optional<QUuid> pendingTrackId_;
    // The leader's timeline for the track being loaded, applied once it is ready.
    std::optional<GroupTimeline> followTimeline_;
    // Counts loadAndPlay requests: only the newest one's item is set up.
    std::uint64_t loadRequest_ = 0;
};

// A FLAC file's length from its own sample count; nothing for other files or on failure.
std::optional<double> getAccurateAudioDuration(const QUrl& url);

} // namespace orvelo
