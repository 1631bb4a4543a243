#pragma once

#include "platform/media/MediaItem.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace orvelo {

// Plays one MediaItem at a time and is reused from item to item. Lives on the main thread;
// every signal arrives there. The rate is the player's: a replaced item continues at it.
class MediaPlayer : public QObject {
    Q_OBJECT

public:
    // How often positionChanged reports while playing, in seconds.
    static constexpr double positionInterval = 0.04;

    explicit MediaPlayer(QObject* parent = nullptr);
    ~MediaPlayer() override;

    // Makes `item` current (nothing clears it). The previous item is paused where it stands
    // and let go; the new one plays at once if the player's rate is above 0, starting as soon
    // as it is ready.
    void replaceCurrentItem(std::shared_ptr<MediaItem> item);
    const std::shared_ptr<MediaItem>& currentItem() const { return item_; }

    // 0 pauses; any other value plays at that speed, keeping the audio's pitch. Negative
    // values pause too: this player does not play backwards.
    void setRate(double rate);
    double rate() const { return rate_; }
    void play() { setRate(1.0); }
    void pause() { setRate(0.0); }

    // On the group clock: the frame at `position` shows at `clockTime` (ns), then plays on at
    // `rate` (above 0).
    void startAt(double position, double rate, std::uint64_t clockTime);

    // Jumps the current item back to its start; a playing player keeps playing from there.
    void seekToZero();
    // To `seconds` within the item (clamped at its start), keeping the rate; nothing before the
    // item is ready.
    void seek(double seconds);

    void setMuted(bool muted);
    bool isMuted() const { return muted_; }
    // Whether the item, and every item that follows, goes on from its start at its end
    // instead of ending (itemDidPlayToEnd); itemEndReached asks again at each end.
    void setLoopAtEnd(bool loop);

    // Position of the current item in seconds (0 without one).
    double currentTime() const;

    // The newest frame the current item presented (nothing without one).
    VideoFramePtr latestFrame() const;

signals:
    // Every positionInterval of playback, and once after each seek and rate change.
    void positionChanged(double seconds);
    void currentItemChanged();
    void rateChanged();
    // The current item played to its end; the player stays at the end until told otherwise.
    void itemDidPlayToEnd();
    void itemEndReached();
    // The current item failed, while loading or later while playing.
    void itemFailed(const QString& errorText);
    // The current item's timeline on the group clock was set (see MediaItem).
    void timelineSet(const orvelo::GroupTimeline& timeline);

private:
    void updatePositionTimer();
    void reportPosition();

    std::shared_ptr<MediaItem> item_;
    double rate_ = 0.0;
    bool muted_ = false;
    bool loopAtEnd_ = false;
    QTimer positionTimer_;
};

} // namespace orvelo
