#include "ui/PlayerViewModel.h"

#include "platform/MainThread.h"

#include "citp/CITPService.h"
#include "core/DMXController.h"
#include "net/ArtNetService.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoOutputView.h"
#include "settings/SettingsManager.h"
#include "ui/AppServices.h"
#include "ui/PlayerRules.h"

namespace orvelo {

PlayerViewModel::PlayerViewModel(const AppServices& app, VideoOutputView& output, QObject* parent)
    : QObject(parent), app_(app), output_(output)
{
    auto& engine = app_.playbackEngine;
    auto& controller = app_.controller;
    connect(&engine, &PlaybackEngine::currentTimeChanged, this, &PlayerViewModel::timeChanged);
    connect(&engine, &PlaybackEngine::remainingTimeChanged, this, &PlayerViewModel::timeChanged);
    for (auto signal : {&PlaybackEngine::currentTrackChanged, &PlaybackEngine::playerChanged})
        connect(&engine, signal, this, [this] {
            emit stateChanged();
            emit timeChanged();
        });
    connect(&engine, &PlaybackEngine::isPlayingChanged, this, &PlayerViewModel::stateChanged);
    connect(&engine, &PlaybackEngine::stateChanged, this, &PlayerViewModel::stateChanged);
    connect(&output_, &VideoOutputView::hasVideoTrackChanged, this, &PlayerViewModel::stateChanged);
    connect(&controller, &DMXController::dmxConfigChanged, this, [this] {
        emit stateChanged();
        emit timeChanged();
    });
    connect(&controller, &DMXController::currentDMXValueChanged, this, &PlayerViewModel::stateChanged);
    connect(&controller, &DMXController::dmxLoopOverrideChanged, this, &PlayerViewModel::stateChanged);
    connect(&controller, &DMXController::ignoreDMXChanged, this, &PlayerViewModel::stateChanged);
    connect(&controller, &DMXController::autoPlayNextChanged, this, &PlayerViewModel::stateChanged);
    connect(&controller, &DMXController::loopPlaylistChanged, this, &PlayerViewModel::stateChanged);
    connect(&controller.playlist(), &Playlist::playlistChanged, this, &PlayerViewModel::stateChanged);
    connect(&SettingsManager::shared(), &SettingsManager::showDefaultVideoInPlayerChanged, this,
            &PlayerViewModel::stateChanged);
    connect(&app_.protocolManager, &ProtocolManager::inputNoteChanged, this, &PlayerViewModel::inputNoteChanged);
    blinkTimer_.setInterval(blinkMs);
    connect(&blinkTimer_, &QTimer::timeout, this, [this] {
        blinkPhase_ = !blinkPhase_;
        emit lampsChanged();
    });
    blinkTimer_.start();
}

bool PlayerViewModel::hasTrack() const
{
    return app_.playbackEngine.currentTrack().has_value();
}

QString PlayerViewModel::title() const
{
    const auto& track = app_.playbackEngine.currentTrack();
    return track ? track->name : QStringLiteral("No Track Loaded");
}

bool PlayerViewModel::audioOnly() const
{
    return hasTrack() && !app_.playbackEngine.isLoading() && !output_.hasVideoTrack();
}

QString PlayerViewModel::stateText() const
{
    const PlaybackEngine& engine = app_.playbackEngine;
    const QString state = QString::fromUtf8(rawValue(engine.state())).toUpper();
    return engine.state() == PlaybackState::failed ? state + QStringLiteral(": ") + engine.error() : state;
}

bool PlayerViewModel::isPlaying() const
{
    return app_.playbackEngine.isPlaying();
}

QString PlayerViewModel::timecode() const
{
    const double time = hasTrack() ? app_.playbackEngine.currentTime() : 0.0;
    return ui::timecodeText(time, rawValue(app_.controller.dmxConfig().frameRate));
}

QString PlayerViewModel::remaining() const
{
    return ui::remainingText(hasTrack() ? app_.playbackEngine.remainingTime() : 0.0);
}

int PlayerViewModel::currentRepeatCount() const
{
    const auto& track = app_.playbackEngine.currentTrack();
    return track ? app_.controller.getRepeatCount(track->id) : 1;
}

int PlayerViewModel::currentIndex() const
{
    const auto& track = app_.playbackEngine.currentTrack();
    if (!track)
        return -1;
    const auto& list = app_.controller.playlist().playlist();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i].id == track->id)
            return static_cast<int>(i);
    return -1;
}

QString PlayerViewModel::loopBadge() const
{
    return ui::loopBadge(currentRepeatCount());
}

QString PlayerViewModel::nextText() const
{
    const auto& track = app_.playbackEngine.currentTrack();
    return ui::nextLine(app_.controller.playlist().playlist(), track ? std::optional(track->id) : std::nullopt,
                        currentRepeatCount(), app_.controller.loopPlaylist())
        .text;
}

QString PlayerViewModel::nextSymbol() const
{
    const auto& track = app_.playbackEngine.currentTrack();
    return ui::nextLine(app_.controller.playlist().playlist(), track ? std::optional(track->id) : std::nullopt,
                        currentRepeatCount(), app_.controller.loopPlaylist())
        .symbol;
}

bool PlayerViewModel::artNetLit() const
{
    return ui::signalIsLit(app_.artNetService.lastPacketTimeOrNull(), QDateTime::currentDateTime());
}

bool PlayerViewModel::sACNLit() const
{
    return ui::signalIsLit(app_.sACNService.lastPacketTimeOrNull(), QDateTime::currentDateTime());
}

QString PlayerViewModel::inputNote() const
{
    return app_.protocolManager.inputNote();
}

bool PlayerViewModel::citpLit() const
{
    return ui::signalIsLit(app_.citpService.lastPacketTimeOrNull(), QDateTime::currentDateTime());
}

int PlayerViewModel::controlChannel() const
{
    return static_cast<int>(app_.controller.dmxConfig().startChannel);
}

int PlayerViewModel::controlValue() const
{
    return app_.controller.currentDMXValue();
}

bool PlayerViewModel::loopTrack() const
{
    const int index = currentIndex();
    return index >= 0 && app_.controller.playlist().playlist()[index].repeatCount == 0;
}

bool PlayerViewModel::loopAll() const
{
    return app_.controller.loopPlaylist();
}
bool PlayerViewModel::loopAllEnabled() const
{
    return ui::loopAllButton(manualMode()).enabled;
}
QString PlayerViewModel::loopAllHelp() const
{
    return ui::loopAllButton(manualMode()).help;
}
bool PlayerViewModel::autoPlay() const
{
    return app_.controller.autoPlayNext();
}
bool PlayerViewModel::autoPlayEnabled() const
{
    return ui::autoPlayButton(manualMode()).enabled;
}
QString PlayerViewModel::autoPlayHelp() const
{
    return ui::autoPlayButton(manualMode()).help;
}
bool PlayerViewModel::manualMode() const
{
    return app_.controller.ignoreDMX();
}
QString PlayerViewModel::dmxHelp() const
{
    return ui::dmxInputHelp(manualMode());
}

bool PlayerViewModel::muted() const
{
    const MediaPlayer* player = app_.playbackEngine.player();
    return player && player->isMuted();
}

bool PlayerViewModel::showBackgroundVideo() const
{
    return SettingsManager::shared().showDefaultVideoInPlayer();
}

void PlayerViewModel::playPause()
{
    assertMainThread();
    auto& engine = app_.playbackEngine;
    if (engine.isPlaying()) {
        engine.pause();
    } else if (engine.currentTrack()) {
        engine.play();
    } else {
        app_.controller.playTrack(0);
    }
}

void PlayerViewModel::stop()
{
    assertMainThread();
    app_.playbackEngine.stop();
}

void PlayerViewModel::toggleLoopTrack()
{
    assertMainThread();
    const int index = currentIndex();
    if (index < 0)
        return;
    app_.controller.playlist().setRepeatCount(index, loopTrack() ? 1 : 0);
}

void PlayerViewModel::toggleLoopAll()
{
    assertMainThread();
    if (loopAllEnabled())
        app_.controller.setLoopPlaylist(!loopAll());
}

void PlayerViewModel::toggleAutoPlay()
{
    assertMainThread();
    if (autoPlayEnabled())
        app_.controller.setAutoPlayNext(!autoPlay());
}

void PlayerViewModel::toggleDMX()
{
    assertMainThread();
    app_.controller.setIgnoreDMX(!manualMode());
}

void PlayerViewModel::toggleMute()
{
    assertMainThread();
    if (MediaPlayer* player = app_.playbackEngine.player()) {
        player->setMuted(!player->isMuted());
        emit stateChanged();
    }
}

void PlayerViewModel::toggleBackgroundVideo()
{
    assertMainThread();
    auto& settings = SettingsManager::shared();
    settings.setShowDefaultVideoInPlayer(!settings.showDefaultVideoInPlayer());
}

} // namespace orvelo
