#include "playback/BackgroundVideo.h"

#include "platform/MainThread.h"

#include "playback/PlaybackEngine.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsManager.h"

namespace orvelo {

void BackgroundVideo::open(const QUrl& file)
{
    assertMainThread();
    auto item = MediaItem::load(file.toLocalFile(), VideoComposition::sourceFormat());
    VideoComposition::attach(*item);
    // A file without a usable picture plays without effects, as does one that fails.
    connect(
        item.get(), &MediaItem::statusChanged, item.get(),
        [raw = item.get()] {
            if (!VideoComposition::hasRenderablePicture(*raw))
                VideoComposition::detach(*raw);
        },
        Qt::SingleShotConnection);

    release();
    auto* player = new MediaPlayer(this);
    player->setMuted(true);
    player->replaceCurrentItem(std::move(item));
    disconnect(endObserver_);
    // The player stays on its last frame at the end; this starts it again, endlessly.
    endObserver_ = connect(player, &MediaPlayer::itemDidPlayToEnd, this, [player] {
        player->seekToZero();
        player->setRate(VideoEffectsManager::shared().playbackSpeed());
    });
    player_ = player;
    emit playerChanged();
}

void BackgroundVideo::close()
{
    assertMainThread();
    release();
    disconnect(endObserver_);
    emit playerChanged();
}

void BackgroundVideo::release()
{
    if (!player_)
        return;
    player_->pause();
    // Later, so that a view handed the player in this turn of the event loop can let go first.
    player_->deleteLater();
    player_.clear();
}

void BackgroundVideo::play()
{
    assertMainThread();
    if (!player_)
        return;
    player_->seekToZero();
    player_->setRate(VideoEffectsManager::shared().playbackSpeed());
}

void BackgroundVideo::bindToPlaybackEngine(PlaybackEngine& engine)
{
    assertMainThread();
    for (const auto& connection : engineBindings_)
        disconnect(connection);
    engineBindings_.clear();

    engineBindings_.push_back(connect(&engine, &PlaybackEngine::isPlayingChanged, this, [this](bool playing) {
        if (!playing && player_)
            player_->pause();
    }));
    engineBindings_.push_back(connect(&engine, &PlaybackEngine::currentTrackChanged, this, [this] {
        if (player_)
            player_->seekToZero();
    }));
    auto& effects = VideoEffectsManager::shared();
    QPointer<PlaybackEngine> weakEngine(&engine);
    engineBindings_.push_back(
        connect(&effects, &VideoEffectsManager::playbackSpeedChanged, this, [this, weakEngine](float speed) {
            if (player_)
                player_->setRate(speed);
            if (!weakEngine)
                return;
            weakEngine->setPlaybackRate(speed);
        }));
    // The engine starts out at the effects speed. The background player is not touched here:
    // only play() and later speed changes start it.
    engine.setPlaybackRate(effects.playbackSpeed());
}

} // namespace orvelo
