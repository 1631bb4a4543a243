#pragma once

#include "platform/media/GroupTimeline.h"
#include "platform/media/VideoFrame.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

typedef struct _GstMessage GstMessage;

namespace orvelo {

// Called on the streaming thread for every decoded frame, in presentation order; returns the
// frame to present (the composed frame, or the given one; nothing also presents the given one).
using VideoFrameHook = std::function<VideoFramePtr(const VideoFramePtr&)>;

// Called on the streaming thread before the first frame that follows a seek: frames before it
// do not continue into the frames after it (a compositor empties its frame history here).
using VideoRestartHook = std::function<void()>;

// Called on the streaming thread for every decoded audio buffer with the first channel's
// samples as floats in -1..1. The audio itself goes on to the output unchanged.
using AudioSampleTap = std::function<void(std::span<const float>)>;

// One media file prepared for playback: decoders set up and the first frame decoded, off the
// main thread. Status, end of playback and errors are reported on the main thread, where the
// item lives; its getters are for the main thread too, except the hooks, taps and
// latestFrame. An item plays in at most one MediaPlayer, which drives it; it holds its own
// video frame hook, frame tap and audio tap so they travel with it.
class MediaItem : public QObject {
    Q_OBJECT

public:
    enum class Status { loading, readyToPlay, failed };

    // Starts preparing the file at once; statusChanged follows on the main thread with
    // ReadyToPlay or Failed (and again with Failed if a ready item later fails while playing). `videoFormat` is the
    // pixel format of the decoded frames that the hook and the tap see. Call on the main thread. The last reference may
    // be dropped on any thread; the item is then destroyed on the main thread.
    static std::shared_ptr<MediaItem> load(const QString& path, PixelFormat videoFormat = PixelFormat::bgra);
    ~MediaItem() override;

    const QString& path() const { return path_; }
    Status status() const { return status_; }
    // Why the item failed, in GStreamer's words or ours; empty unless Failed.
    const QString& errorText() const { return errorText_; }
    // Known once ready; none while loading, after a failure, or while the length is unknown.
    // Asked afresh each time: a file without a length header (an MP3 without one, say) gets an
    // estimate once some of it has played.
    std::optional<double> duration() const;
    bool hasVideo() const { return hasVideo_; }
    bool hasAudio() const { return hasAudio_; }
    // Size of the decoded picture; empty without video.
    QSize videoSize() const { return videoSize_; }
    PixelFormat videoFormat() const;
    // Playback position in seconds (0 while loading).
    double currentTime() const;
    // Whether the item was set up for the clock the player is on now (its own, or the group's
    // that it follows or leads): one prepared before a change of clock cannot join the group.
    bool runsOnTheGroupClock() const;
    // A flushing seek is on its way and its frame not yet shown. A seek that has not landed
    // within a couple of seconds is not waited for any longer.
    bool isSeeking() const;

    // May be set or cleared at any time from any thread and apply from the next buffer. A call
    // already running on the streaming thread finishes with the previous function, so a hook
    // should own (share) what it uses rather than point at something its owner may delete.
    void setVideoFrameHook(VideoFrameHook hook, VideoRestartHook restart = nullptr);
    void setAudioTap(AudioSampleTap tap);

    // The newest presented frame (after the hook), or nothing before the first frame. Any thread.
    VideoFramePtr latestFrame() const;

signals:
    void statusChanged();
    // The item played to its end (once per end; a seek to zero re-arms it).
    void playedToEnd();
    // A play in loop mode has come to its end (its last frames are still to be shown). Its owner
    // may call setLoopAtEnd now: set, the item goes on from its start without a gap; cleared,
    // the last frames play out and playedToEnd follows.
    void endReached();
    // On the group clock: each start, pause and seek, as set (before it shows).
    void timelineSet(const orvelo::GroupTimeline& timeline);

private:
    friend class MediaPlayer;
    struct Pipeline;

    MediaItem(QString path, PixelFormat videoFormat);
    void start();

    // Driven by MediaPlayer on the main thread. A rate of 0 pauses; a rate requested while
    // loading applies as soon as the item is ready.
    void setRate(double rate);
    void seekToZero();
    void seek(double seconds);
    void setMuted(bool muted);
    // At its end the item goes on from the start with no gap and no frame twice (a segment
    // seek queued behind what is still playing) instead of ending; endReached asks once more
    // at each end. Takes effect when it starts from its first frame, or else from the next
    // seek; a player of a sync group ends as usual and is sought back by the caller.
    void setLoopAtEnd(bool loop);
    // On the group clock: the frame at `position` shows at `clockTime` and playback goes on
    // from there at `rate`. A start whose picture is ready only after that time is set again
    // further along the same timeline, so the picture joins where the group is.
    void startAt(double position, double rate, std::uint64_t clockTime);

    void handleBusMessage(GstMessage* message, unsigned seekGeneration);
    void finishLoading();
    void fail(const QString& text);
    void applyRate();
    void seekTo(double seconds, double rate);
    void loopToStart();
    bool refusesSegments() const;
    // Ends a play in loop mode once its queued frames are shown.
    void finishPlay();
    void checkFinished();
    // A seek from `position` (nanoseconds) with GstSeekFlags `flags`, ending a looping segment
    // at the clip's length; whether every branch took it.
    bool seekFrom(std::int64_t position, double rate, int flags);
    void startPrerolled();

    struct PendingStart {
        double position;
        double rate;
        std::uint64_t clockTime;
        int retries = 0;
    };
    void startAt(const PendingStart& start);

    QString path_;
    Status status_ = Status::loading;
    QString errorText_;
    mutable std::optional<double> duration_;
    bool hasVideo_ = false;
    bool hasAudio_ = false;
    QSize videoSize_;
    double desiredRate_ = 0.0;
    double segmentRate_ = 1.0;
    bool atEnd_ = false;
    bool loopAtEnd_ = false;
    // The playing segment was set to end with a message instead of an end of stream.
    bool segmentLoops_ = false;
    // No flushing seek is on its way: the segment can take a new rate in place.
    bool seekSettled_ = true;
    std::chrono::steady_clock::time_point seekStarted_{};
    // A start set for a moment on the group clock, waiting for its seek to preroll, or for
    // the item to be ready.
    std::optional<PendingStart> startAt_;
    std::optional<PendingStart> pendingStart_;
    mutable double lastPosition_ = 0.0;
    struct Finishing {
        unsigned generation;
        double end;
        std::chrono::steady_clock::time_point deadline;
    };
    std::optional<Finishing> finishing_;
    QTimer finishTimer_;
    std::unique_ptr<Pipeline> pipeline_;
};

} // namespace orvelo
