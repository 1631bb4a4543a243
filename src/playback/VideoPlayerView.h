#pragma once

#include "platform/media/MediaPlayer.h"
#include "platform/media/VideoFrame.h"
#include "playback/ViewEffects.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <memory>
#include <optional>

class QPainter;

namespace orvelo {

class SerialQueue;

// Shows a player's picture letterboxed on black: each new frame scaled to fit the area without
// cropping, centred, black bars around it. The frames (I420 from a neutral compositor, else
// BGRA) are converted and scaled off the main thread, newest first: a frame that arrives
// while one is being prepared replaces any that waits, so the main thread only ever paints a
// ready picture. Lives on the main thread.
class VideoPlayerView : public QObject {
    Q_OBJECT

public:
    // Label of the queue that prepares the pictures.
    static constexpr const char* queueLabel = "com.orvelo.videoview";

    explicit VideoPlayerView(QObject* parent = nullptr);
    ~VideoPlayerView() override;

    // The same player is left alone; another one starts afresh (its picture shows once its
    // first frame is prepared).
    void setPlayer(MediaPlayer* player);
    MediaPlayer* player() const { return player_; }

    // Effects laid over the picture (the preview's), or none (the output window).
    void setViewEffects(std::optional<ViewEffects> effects);

    // Looks for a new frame of the player (or a new area size or effects) and has it
    // prepared; pictureReady follows. Call once per display refresh.
    void refresh(QSize areaSize);

    // Black over `area`, with the newest prepared picture fitted into it.
    void paint(QPainter& painter, QRect area) const;
    bool hasPicture() const { return !picture_.isNull(); }

    // The largest rectangle of the frame's proportions inside `area`, centred.
    static QRect letterbox(QSize frame, QRect area);

signals:
    void pictureReady();

private:
    struct Preparer;
    struct Job {
        VideoFramePtr frame;
        QSize areaSize;
        std::optional<ViewEffects> effects;
        unsigned generation = 0;
    };

    void accept(QImage picture, unsigned generation);

    QPointer<MediaPlayer> player_;
    std::optional<ViewEffects> effects_;
    VideoFramePtr lastFrame_;
    QSize lastSize_;
    std::optional<ViewEffects> lastEffects_;
    unsigned generation_ = 0; // a new player discards what was prepared for the old one
    QImage picture_;
    std::shared_ptr<Preparer> preparer_;
    // Last, so it goes first: a picture being prepared finishes, and no task runs after
    // that to post to a view that is gone.
    std::unique_ptr<SerialQueue> queue_;
};

} // namespace orvelo
