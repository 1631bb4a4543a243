#pragma once

#include "platform/media/MediaPlayer.h"
#include "playback/OutputDecision.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <memory>

class QPainter;

namespace orvelo {

class AudioAnalyzer;
class PatternCanvas;
class PatternState;
class VideoPlayerView;

// What an output window shows, on black, decided once when the window opens: without a player
// "No Signal"; with a player but no picture the selected pattern (following the selection);
// with a picture the player's composed frames, letterboxed and without further effects. The
// engine keeps one player and swaps its items, so later tracks show through it; whether it
// shows video or the pattern stays as it was at opening. Main thread.
class ExternalVideoContentView : public QObject {
    Q_OBJECT

public:
    ExternalVideoContentView(MediaPlayer* player, bool hasVideoTrack, PatternState& patterns, AudioAnalyzer& analyzer,
                             QObject* parent = nullptr);
    ~ExternalVideoContentView() override;

    ExternalContent content() const { return content_; }
    MediaPlayer* player() const { return player_; }

    // Once per display refresh with the area's size: a pattern asks to be redrawn every time,
    // video when its next frame is ready.
    void refresh(QSize areaSize);
    void paint(QPainter& painter, QRect area);

signals:
    void needsRepaint();

private:
    void paintNoSignal(QPainter& painter, QRect area) const;

    QPointer<MediaPlayer> player_;
    ExternalContent content_;
    std::unique_ptr<PatternCanvas> pattern_;
    std::unique_ptr<VideoPlayerView> video_;
    QImage patternImage_;
};

} // namespace orvelo
