#pragma once

#include "core/DMXConfig.h"
#include "core/Playlist.h"
#include "core/TimecodePacer.h"
#include "core/TimecodeSender.h"
#include "platform/SettingsStore.h"
#include "playback/MediaTrack.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvelo {

class DMXProtocolService;
class PlaybackEngine;
class ProtocolManager;

// The centre of the player: decodes every frame of the active DMX input into playback
// commands, loop counts and live effects, owns the playlist, answers the engine's two
// questions (how often a track plays, what follows its end) and turns the playback position
// into timecode for the active output. Main thread only.
class DMXController : public QObject {
    Q_OBJECT
    Q_PROPERTY(int currentDMXValue READ currentDMXValue NOTIFY currentDMXValueChanged)
    Q_PROPERTY(int currentLoopDMXValue READ currentLoopDMXValue NOTIFY currentLoopDMXValueChanged)
    Q_PROPERTY(bool ignoreDMX READ ignoreDMX WRITE setIgnoreDMX NOTIFY ignoreDMXChanged)
    Q_PROPERTY(bool autoPlayNext READ autoPlayNext WRITE setAutoPlayNext NOTIFY autoPlayNextChanged)
    Q_PROPERTY(bool loopPlaylist READ loopPlaylist WRITE setLoopPlaylist NOTIFY loopPlaylistChanged)
public:
    static inline const QString dmxConfigKey = QStringLiteral("dmxConfig");

    // Where timecode frames that come due between two looks are sent from: a thread of their
    // own, on time; or the main thread at its next look (tests that read the engine as they
    // record the timecode).
    enum class TimecodeTiming { ownThread, mainThread };

    DMXController(ProtocolManager& protocolManager, PlaybackEngine& engine, QObject* parent = nullptr,
                  TimecodeTiming timing = TimecodeTiming::ownThread);

    Playlist& playlist() { return playlist_; }
    const Playlist& playlist() const { return playlist_; }
    QList<MediaTrack> getPlaylist() const { return playlist_.playlist(); }

    const DMXConfig& dmxConfig() const { return dmxConfig_; }
    void setDmxConfig(const DMXConfig& config);

    std::uint8_t currentDMXValue() const { return currentDMXValue_; }
    std::uint8_t currentLoopDMXValue() const { return currentLoopDMXValue_; }
    const std::optional<int>& dmxLoopOverride() const { return dmxLoopOverride_; }
    bool ignoreDMX() const { return ignoreDMX_; }
    void setIgnoreDMX(bool ignore);
    bool autoPlayNext() const { return autoPlayNext_; }
    void setAutoPlayNext(bool enabled);
    bool loopPlaylist() const { return loopPlaylist_; }
    void setLoopPlaylist(bool enabled);

    void playTrack(int index);
    void playNextTrack();
    int getRepeatCount(const QUuid& trackId) const;

    // One frame of the active input (element 0 = slot 1).
    void handleDMXInput(const std::vector<std::uint8_t>& frame);

    // While the player chases incoming timecode or follows a sync group's leader, the console's
    // control value is shown but does not move the transport, nor does the web (each said once
    // in the log); and the player's own timecode may be off so that it does not answer the
    // timecode it follows.
    void setTransportFollowsTimecode(bool follows);
    bool transportFollowsTimecode() const { return transportFollowsTimecode_; }
    void setTransportFollowsLeader(bool follows);
    // False, said once per source, while something else moves the transport; `source` names
    // who asked in the log ("DMX", "the web").
    bool acceptsTransportFrom(const std::string& source);
    void setTimecodeOutputEnabled(bool enabled);

signals:
    void dmxConfigChanged();
    void currentDMXValueChanged(int value);
    void currentLoopDMXValueChanged(int value);
    void dmxLoopOverrideChanged();
    void ignoreDMXChanged(bool ignore);
    void autoPlayNextChanged(bool enabled);
    void loopPlaylistChanged(bool enabled);
    // Where the player's timecode is: the position in seconds (the track's timecode offset
    // included) and the speed it runs at, 0 while held or with nothing loaded. Told whenever
    // the timecode output looks, whether or not it sends.
    void timecodeMoved(double position, double rate, double framesPerSecond);

private:
    // Tells the engine's preloader which tracks to keep ready after a cue or a playlist edit.
    void updatePreloads();
    void bindToService(DMXProtocolService* service);
    void copyFiltersTo(DMXProtocolService* service);
    void processEffectsDMX(const std::vector<std::uint8_t>& frame);
    // Sends timecode when the pacer says so, and asks to be called again when it says.
    void sendTimecode();
    void onPlaybackEnded();
    void setCurrentDMXValue(std::uint8_t value);
    void setCurrentLoopDMXValue(std::uint8_t value);
    void setDmxLoopOverride(std::optional<int> value);

    ProtocolManager& protocolManager_;
    QPointer<PlaybackEngine> engine_;
    Playlist playlist_;
    // The address the console sends to: kept across restarts, so that a power cut does not
    // leave the player listening somewhere else.
    SettingsStore store_;
    DMXConfig dmxConfig_;
    std::uint8_t currentDMXValue_ = 0;
    std::uint8_t currentLoopDMXValue_ = 0;
    std::optional<int> dmxLoopOverride_;
    // A failed track the console holds is loaded again at most this often.
    static constexpr std::chrono::seconds failedRetryInterval{1};
    std::optional<std::chrono::steady_clock::time_point> lastFailedRetry_;
    // Tracks cued lately, newest first: the ones a console may well cue again.
    QList<QUuid> recentlyCued_;
    bool ignoreDMX_ = false;
    bool autoPlayNext_ = false;
    bool loopPlaylist_ = false;
    bool transportFollowsTimecode_ = false;
    bool transportFollowsLeader_ = false;
    std::set<std::string> transportIgnoredSaid_;
    bool timecodeOutputEnabled_ = true;
    QMetaObject::Connection serviceConnection_;
    TimecodePacer timecodePacer_;
    QTimer timecodeTimer_;
    TimecodeSender timecodeSender_;
};

} // namespace orvelo
