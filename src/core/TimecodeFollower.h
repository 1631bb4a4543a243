#pragma once

#include "core/TimecodeChase.h"
#include "net/ArtNetPacket.h"
#include "platform/SerialQueue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

namespace orvelo {

class DMXController;
class LtcInput;
class PlaybackEngine;
class TimecodeSettings;

// Makes the player follow incoming timecode when the settings say so, Art-Net's or LTC from an
// audio input: the chase decides, this loads, seeks, plays, pauses and nudges the rate of the
// engine, looking every 10 ms. While it follows, the console's transport is ignored; the
// player's own timecode is off while it follows Art-Net (it would answer the timecode it
// follows). The LTC input opens on a queue of its own, as opening a device can take seconds.
// Main thread only.
class TimecodeFollower : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds lookInterval{10};

    TimecodeFollower(DMXController& controller, PlaybackEngine& engine, TimecodeSettings& settings,
                     QObject* parent = nullptr);
    ~TimecodeFollower() override;

    // An ArtTimeCode from a peer; used only while following Art-Net timecode.
    void artNetTimecode(const artnet::ArtTimeCode& code);

    bool following() const;
    // "locked", "freewheel", "lost", or "off" while the console drives the transport.
    QString lockText() const;
    // The last timecode heard, offset applied, as hh:mm:ss:ff; empty before any.
    QString incomingText() const;
    double errorFrames() const { return chase_.errorFrames(); }
    // Reads LTC from a recording played in real time in place of the audio input, for
    // rehearsals and tests; empty goes back to the input.
    void readLtcFrom(const QString& recording);
    // Why LTC cannot be read ("No audio input device"); empty while it can or is not asked for.
    const QString& ltcProblem() const { return ltcProblem_; }

signals:
    void statusChanged();

private:
    void configure();
    void followLtc();
    void stopLtc();
    void ltcProblem(const QString& problem);
    void look();
    void apply(const TimecodeChase::Command& command);
    TimecodeChase::Settings chaseSettings(double framesPerSecond) const;

    DMXController& controller_;
    QPointer<PlaybackEngine> engine_;
    TimecodeSettings& settings_;
    TimecodeChase chase_;
    QTimer timer_;
    TimecodeChase::Lock lastLock_ = TimecodeChase::Lock::lost;
    // The LTC input while it reads, the device and channel it was opened for, and what counts
    // its starts so that the result of an earlier one is dropped.
    std::unique_ptr<LtcInput> ltcInput_;
    std::optional<std::pair<QString, int>> ltcOpenedFor_;
    unsigned ltcRun_ = 0;
    QString ltcRecording_;
    QString ltcProblem_;
    // Last, so that a start still running ends before the rest goes.
    SerialQueue ltcStarts_{"orvelo.ltc-in"};
};

} // namespace orvelo
