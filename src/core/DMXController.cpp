#include "core/DMXController.h"

#include "core/DMXDecoding.h"
#include "core/PreloadChoice.h"
#include "net/ArtNetService.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <QJsonDocument>

#include <array>
#include <string>
#include <utility>

namespace orvelo {

namespace {
std::string valueText(std::uint8_t v)
{
    return std::to_string(static_cast<int>(v));
}
} // namespace

DMXController::DMXController(ProtocolManager& protocolManager, PlaybackEngine& engine, QObject* parent,
                             TimecodeTiming timing)
    : QObject(parent), protocolManager_(protocolManager), engine_(&engine),
      timecodeSender_(timing == TimecodeTiming::ownThread)
{
    if (const auto stored = store_.bytes(dmxConfigKey))
        if (const auto config = DMXConfig::fromJson(QJsonDocument::fromJson(*stored).object()))
            dmxConfig_ = *config;

    QPointer<DMXController> self(this);
    engine.repeatCountProvider = [self](const QUuid& id) { return self ? self->getRepeatCount(id) : 1; };
    engine.onPlaybackEndedCallback = [self] {
        if (self)
            self->onPlaybackEnded();
    };

    connect(&protocolManager_, &ProtocolManager::activeInputServiceChanged, this, &DMXController::bindToService);
    bindToService(protocolManager_.activeInputService());

    // Timecode follows the frames on show at the timecode rate, not the position reports: the
    // pacer decides, and these only make it look at once when something happened.
    timecodeTimer_.setSingleShot(true);
    timecodeTimer_.setTimerType(Qt::PreciseTimer);
    connect(&timecodeTimer_, &QTimer::timeout, this, &DMXController::sendTimecode);
    connect(&engine, &PlaybackEngine::currentTimeChanged, this, &DMXController::sendTimecode);
    connect(&engine, &PlaybackEngine::stateChanged, this, &DMXController::sendTimecode);
    connect(&engine, &PlaybackEngine::currentTrackChanged, this, [this] {
        timecodePacer_.reset();
        sendTimecode();
        if (const auto& track = engine_->currentTrack()) {
            recentlyCued_.removeAll(track->id);
            recentlyCued_.prepend(track->id);
            if (recentlyCued_.size() > TrackPreloader::maximumCount + 1)
                recentlyCued_.removeLast();
        }
        updatePreloads();
    });
    connect(&playlist_, &Playlist::playlistChanged, this, &DMXController::updatePreloads);

    connect(this, &DMXController::dmxConfigChanged, this,
            [this] { copyFiltersTo(protocolManager_.activeInputService()); });
    copyFiltersTo(protocolManager_.activeInputService());

    playlist_.loadLastPlaylist();
}

void DMXController::setDmxConfig(const DMXConfig& config)
{
    assertMainThread();
    dmxConfig_ = config;
    emit dmxConfigChanged();
    store_.setBytes(dmxConfigKey, QJsonDocument(config.toJson()).toJson(QJsonDocument::Compact));
    store_.sync();
}

void DMXController::copyFiltersTo(DMXProtocolService* service)
{
    if (auto* artNet = qobject_cast<ArtNetService*>(service)) {
        artNet->filterUniverse = static_cast<int>(dmxConfig_.universe);
        artNet->filterSubnet = static_cast<int>(dmxConfig_.subnet);
        artNet->filterNet = static_cast<int>(dmxConfig_.net);
    }
    // The sACN receiver takes every universe and is told the address only for its note, so it
    // is told whether it is the input or not. Consoles number sACN universes from 1 where
    // Art-Net counts its 15-bit Port-Addresses from 0.
    if (auto* sacn = qobject_cast<SACNService*>(&protocolManager_.sACNService()))
        sacn->expectedUniverse =
            (artnet::portAddress(static_cast<int>(dmxConfig_.net), static_cast<int>(dmxConfig_.subnet),
                                 static_cast<int>(dmxConfig_.universe)) &
             0x7FFF) +
            1;
}

void DMXController::bindToService(DMXProtocolService* service)
{
    disconnect(serviceConnection_);
    serviceConnection_ = {};
    if (auto* artNet = qobject_cast<ArtNetService*>(service)) {
        copyFiltersTo(artNet);
        serviceConnection_ =
            connect(artNet, &ArtNetService::lastDMXValuesChanged, this, &DMXController::handleDMXInput);
    } else if (auto* sacn = qobject_cast<SACNService*>(service)) {
        serviceConnection_ = connect(sacn, &SACNService::lastDMXValuesChanged, this, &DMXController::handleDMXInput);
    }
}

void DMXController::handleDMXInput(const std::vector<std::uint8_t>& frame)
{
    assertMainThread();
    const auto length = static_cast<std::int64_t>(frame.size());
    const std::int64_t s = dmxConfig_.startChannel;
    const auto slot = [&frame](std::int64_t n) { return frame[static_cast<std::size_t>(n - 1)]; };
    // A start channel outside 1-512 is outside the model: its slots count as absent. The
    // comparisons never add to `s`, so no stored start channel can overflow them.
    const bool controlPresent = s >= 1 && s <= length;

    // What a frame publishes (its values, loop override and effects) is deferred until this
    // handler returns, so that observers see it after the frame's transport action, never
    // in the middle of it.
    if (dmxConfig_.mode == DMXMode::standard) {
        postToMain(this, [this] { setDmxLoopOverride(std::nullopt); });
    } else if (s >= 1 && s < length) {
        const std::uint8_t w = slot(s + 1);
        postToMain(this, [this, w] {
            setCurrentLoopDMXValue(w);
            setDmxLoopOverride(dmx::decodeLoopOverride(w));
        });
    }

    if (dmxConfig_.mode == DMXMode::extended)
        processEffectsDMX(frame);

    if (ignoreDMX_) {
        if (controlPresent) {
            const std::uint8_t v = slot(s);
            postToMain(this, [this, v] { setCurrentDMXValue(v); });
        }
        postToMain(this, [this] { setDmxLoopOverride(std::nullopt); });
        return;
    }
    if (!controlPresent || !engine_)
        return;

    const std::uint8_t v = slot(s);
    postToMain(this, [this, v] { setCurrentDMXValue(v); });
    if (!acceptsTransportFrom("DMX"))
        return;

    PlaybackEngine& engine = *engine_;
    const dmx::ControlAction action = dmx::decodeControl(v);
    switch (action.kind) {
    case dmx::ControlKind::stop:
        if (engine.isPlaying())
            logLine("DMXController: Stopping via DMX (Val: " + valueText(v) + ")");
        engine.stop();
        return;
    case dmx::ControlKind::pause:
        if (engine.isPlaying())
            logLine("DMXController: Pausing via DMX (Val: " + valueText(v) + ")");
        engine.pause();
        return;
    case dmx::ControlKind::stopQuietly:
        engine.stop();
        return;
    case dmx::ControlKind::selectTrack:
        break;
    }

    const auto& tracks = playlist_.playlist();
    if (action.trackIndex >= tracks.size()) {
        engine.stop();
        return;
    }
    const MediaTrack& track = tracks[action.trackIndex];
    // A held value while its track loads asks for nothing new.
    if (engine.isLoading() && engine.pendingTrackId() == track.id)
        return;
    if (engine.currentTrack() && engine.currentTrack()->id == track.id) {
        if (engine.state() == PlaybackState::failed) {
            // Never "resumed" into looking as if it played; a file that appears later (a
            // drive mounted late) is picked up by the retry.
            const auto now = std::chrono::steady_clock::now();
            if (lastFailedRetry_ && now - *lastFailedRetry_ < failedRetryInterval)
                return;
            lastFailedRetry_ = now;
            engine.loadAndPlay(track);
            return;
        }
        if (!engine.isPlaying()) {
            logLine("DMXController: Resuming track via DMX (Val: " + valueText(v) + ")");
            engine.play();
        }
        return;
    }
    logLine("DMXController: Switching track via DMX (Val: " + valueText(v) + ") -> " + track.name.toStdString());
    lastFailedRetry_ = std::chrono::steady_clock::now();
    engine.loadAndPlay(track);
}

void DMXController::processEffectsDMX(const std::vector<std::uint8_t>& frame)
{
    const std::int64_t s = dmxConfig_.startChannel;
    if (s < 1 || s > static_cast<std::int64_t>(frame.size()) - 17)
        return;
    std::array<std::uint8_t, 16> values{};
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = frame[static_cast<std::size_t>(s + 1) + i];

    postToMain(this, [values] {
        auto& fx = VideoEffectsManager::shared();
        auto& settings = SettingsManager::shared();
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::uint8_t v = values[i];
            const dmx::EffectBand band = dmx::effectBand(v);
            if (band == dmx::EffectBand::unchanged)
                continue;
            const bool reset = band == dmx::EffectBand::reset;
            switch (static_cast<dmx::EffectChannel>(i + 3)) {
            case dmx::EffectChannel::pattern:
                settings.setSelectedPattern(reset ? AudioVisualPattern::blackScreen : dmx::mappedPattern(v));
                break;
            case dmx::EffectChannel::patternSpeed:
                settings.setPatternSpeed(reset ? 1.0 : dmx::mappedPatternSpeed(v));
                break;
            case dmx::EffectChannel::brightness:
                fx.setBrightness(reset ? 0.0f : dmx::mappedBrightness(v));
                break;
            case dmx::EffectChannel::saturation:
                fx.setSaturation(reset ? 1.0f : dmx::mappedSaturation(v));
                break;
            case dmx::EffectChannel::alpha:
                fx.setAlpha(reset ? 1.0f : dmx::mappedAlpha(v));
                break;
            case dmx::EffectChannel::playbackSpeed:
                fx.setPlaybackSpeed(reset ? 1.0f : dmx::mappedPlaybackSpeed(v));
                break;
            case dmx::EffectChannel::colourMask: {
                const dmx::ColourMask mask = reset ? dmx::ColourMask{} : dmx::mappedColourMask(v);
                fx.setRedEnabled(mask.red);
                fx.setGreenEnabled(mask.green);
                fx.setBlueEnabled(mask.blue);
                break;
            }
            case dmx::EffectChannel::redTimeShift:
                fx.setRedTimeShift(reset ? 0 : dmx::mappedTimeShift(v));
                break;
            case dmx::EffectChannel::greenTimeShift:
                fx.setGreenTimeShift(reset ? 0 : dmx::mappedTimeShift(v));
                break;
            case dmx::EffectChannel::blueTimeShift:
                fx.setBlueTimeShift(reset ? 0 : dmx::mappedTimeShift(v));
                break;
            case dmx::EffectChannel::redHorizontalOffset:
                fx.setRedHorizontalOffset(reset ? 0.0 : dmx::mappedOffset(v));
                break;
            case dmx::EffectChannel::redVerticalOffset:
                fx.setRedVerticalOffset(reset ? 0.0 : dmx::mappedOffset(v));
                break;
            case dmx::EffectChannel::greenHorizontalOffset:
                fx.setGreenHorizontalOffset(reset ? 0.0 : dmx::mappedOffset(v));
                break;
            case dmx::EffectChannel::greenVerticalOffset:
                fx.setGreenVerticalOffset(reset ? 0.0 : dmx::mappedOffset(v));
                break;
            case dmx::EffectChannel::blueHorizontalOffset:
                fx.setBlueHorizontalOffset(reset ? 0.0 : dmx::mappedOffset(v));
                break;
            case dmx::EffectChannel::blueVerticalOffset:
                fx.setBlueVerticalOffset(reset ? 0.0 : dmx::mappedOffset(v));
                break;
            }
        }
    });
}

void DMXController::playTrack(int index)
{
    assertMainThread();
    const auto& tracks = playlist_.playlist();
    if (engine_ && index >= 0 && index < tracks.size())
        engine_->loadAndPlay(tracks[index]);
}

void DMXController::playNextTrack()
{
    assertMainThread();
    if (!engine_ || !engine_->currentTrack())
        return;
    const auto& tracks = playlist_.playlist();
    const auto current = playlist_.indexOf(engine_->currentTrack()->id);
    if (!current)
        return;
    auto next = static_cast<qsizetype>(*current) + 1;
    if (next >= tracks.size()) {
        if (!loopPlaylist_)
            return;
        next = 0;
    }
    engine_->loadAndPlay(tracks[next]);
}

void DMXController::updatePreloads()
{
    if (!engine_)
        return;
    const auto& current = engine_->currentTrack();
    engine_->preloader().want(
        preloadChoice(playlist_.playlist(), current ? playlist_.indexOf(current->id) : std::nullopt, recentlyCued_));
}

int DMXController::getRepeatCount(const QUuid& trackId) const
{
    if (!ignoreDMX_ && dmxLoopOverride_)
        return *dmxLoopOverride_;
    for (const MediaTrack& t : playlist_.playlist()) {
        if (t.id == trackId)
            return t.repeatCount;
    }
    return 1;
}

void DMXController::onPlaybackEnded()
{
    if (ignoreDMX_ && autoPlayNext_)
        playNextTrack();
}

void DMXController::setTransportFollowsTimecode(bool follows)
{
    assertMainThread();
    transportFollowsTimecode_ = follows;
    transportIgnoredSaid_.clear();
}

void DMXController::setTransportFollowsLeader(bool follows)
{
    assertMainThread();
    transportFollowsLeader_ = follows;
    transportIgnoredSaid_.clear();
}

bool DMXController::acceptsTransportFrom(const std::string& source)
{
    assertMainThread();
    if (!transportFollowsTimecode_ && !transportFollowsLeader_)
        return true;
    if (transportIgnoredSaid_.insert(source).second)
        logLine("DMXController: Transport from " + source + " ignored while following " +
                (transportFollowsLeader_ ? "the sync group's leader" : "timecode"));
    return false;
}

void DMXController::setTimecodeOutputEnabled(bool enabled)
{
    assertMainThread();
    timecodeOutputEnabled_ = enabled;
    sendTimecode();
}

void DMXController::sendTimecode()
{
    timecodeTimer_.stop();
    const double fps = rawValue(dmxConfig_.frameRate);
    const bool loaded = engine_ && engine_->currentTrack();
    const double position = loaded ? engine_->positionOnShow() + engine_->currentTrack()->timecodeOffset : 0.0;
    emit timecodeMoved(position, loaded ? engine_->runningRate() : 0.0, fps);
    if (!loaded || !timecodeOutputEnabled_) {
        timecodePacer_.reset();
        timecodeSender_.update(std::nullopt, std::nullopt);
        return;
    }
    const auto decision = timecodePacer_.observe(position, fps, engine_->runningRate(), TimecodePacer::Clock::now());
    timecodeTimer_.start(decision.nextCheck);
    // The active output, told from whichever thread sends: the services outlive the controller
    // and take timecode from any thread.
    DMXProtocolService* output = protocolManager_.activeOutputService();
    const auto packetFor = [output, fps](long long frame) -> std::optional<TimecodeSender::Frame> {
        // The same allowance as the pacer's, so that both name the same frame at a boundary.
        const auto tc = dmx::timecodeAt((static_cast<double>(frame) + 1e-6) / fps, fps);
        if (!tc || !output)
            return std::nullopt;
        return TimecodeSender::Frame{frame, [output, tc = *tc, type = dmx::timecodeType(fps)] {
                                         output->sendTimecode(tc.hours, tc.minutes, tc.seconds, tc.frames, type);
                                     }};
    };
    std::optional<TimecodeSender::Pending> ahead;
    if (decision.ahead)
        if (auto frame = packetFor(decision.ahead->frame))
            ahead = TimecodeSender::Pending{decision.ahead->due, std::move(*frame)};
    timecodeSender_.update(decision.frame ? packetFor(*decision.frame) : std::nullopt, std::move(ahead));
}

void DMXController::setIgnoreDMX(bool ignore)
{
    assertMainThread();
    ignoreDMX_ = ignore;
    emit ignoreDMXChanged(ignore);
}

void DMXController::setAutoPlayNext(bool enabled)
{
    assertMainThread();
    autoPlayNext_ = enabled;
    emit autoPlayNextChanged(enabled);
}

void DMXController::setLoopPlaylist(bool enabled)
{
    assertMainThread();
    loopPlaylist_ = enabled;
    emit loopPlaylistChanged(enabled);
}

void DMXController::setCurrentDMXValue(std::uint8_t value)
{
    currentDMXValue_ = value;
    emit currentDMXValueChanged(value);
}

void DMXController::setCurrentLoopDMXValue(std::uint8_t value)
{
    currentLoopDMXValue_ = value;
    emit currentLoopDMXValueChanged(value);
}

void DMXController::setDmxLoopOverride(std::optional<int> value)
{
    dmxLoopOverride_ = value;
    emit dmxLoopOverrideChanged();
}

} // namespace orvelo
