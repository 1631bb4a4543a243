#pragma once

#include "platform/media/MediaPlayer.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <vector>

namespace orvelo {

class PlaybackEngine;

// The background video that stands in for the picture of audio-only tracks: a muted player
// that loops one file without end through the effects at the effects speed. The settings
// choose (and remember) the file; the output views and the NDI source show the player. Main
// thread.
class BackgroundVideo : public QObject {
    Q_OBJECT

public:
    explicit BackgroundVideo(QObject* parent = nullptr) : QObject(parent) {}

    // Null without a file. Replaced by open(), gone after close(); playerChanged says when.
    MediaPlayer* player() const { return player_; }

    // Sets up a new player for `file` (not started), replacing the previous one.
    void open(const QUrl& file);
    // Lets the player go.
    void close();

    // Starts the video from its beginning at the effects speed; the output view calls it when
    // an audio-only track starts. Does nothing without a player.
    void play();

    // Once, at start-up: the player pauses whenever the engine stops playing and goes back to
    // its start at every track change; the effects speed becomes the rate of this player, the
    // engine's `playbackRate` and, while it plays, the engine's player.
    void bindToPlaybackEngine(PlaybackEngine& engine);

signals:
    void playerChanged();

private:
    void release();

    QPointer<MediaPlayer> player_;
    QMetaObject::Connection endObserver_;
    std::vector<QMetaObject::Connection> engineBindings_;
};

} // namespace orvelo
