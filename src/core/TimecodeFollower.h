#pragma once

#include "core/TimecodeChase.h"
#include "net/ArtNetPacket.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <optional>

namespace orvelo {

class DMXController;
class PlaybackEngine;
class TimecodeSettings;

// Makes the player follow incoming timecode when the settings say so: the chase decides, this
// loads, seeks, plays, pauses and nudges the rate of the engine, looking every 10 ms. While it
// follows, the console's transport is ignored and the player's own timecode is off (it would
// answer the Art-Net timecode it follows). Main thread only.
class TimecodeFollower : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds lookInterval{10};

    TimecodeFollower(DMXController& controller, PlaybackEngine& engine, TimecodeSettings& settings,
                     QObject* parent = nullptr);

    // An ArtTimeCode from a peer; used only while following Art-Net timecode.
    void artNetTimecode(const artnet::ArtTimeCode& code);

    bool following() const;
    // "locked", "freewheel", "lost", or "off" while the console drives the transport.
    QString lockText() const;
    // The last timecode heard, offset applied, as hh:mm:ss:ff; empty before any.
    QString incomingText() const;
    double errorFrames() const { return chase_.errorFrames(); }

signals:
    void statusChanged();

private:
    void configure();
    void look();
    void apply(const TimecodeChase::Command& command);
    TimecodeChase::Settings chaseSettings(double framesPerSecond) const;

    DMXController& controller_;
    QPointer<PlaybackEngine> engine_;
    TimecodeSettings& settings_;
    TimecodeChase chase_;
    QTimer timer_;
    TimecodeChase::Lock lastLock_ = TimecodeChase::Lock::lost;
};

} // namespace orvelo
