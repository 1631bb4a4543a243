#pragma once

#include "platform/SerialQueue.h"
#include "platform/media/LtcOutput.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace orvelo {

class DMXController;
class TimecodeSettings;

// Sends the player's timecode as LTC when the settings ask for it: the output opens on a queue
// of its own (a device can take seconds), follows the controller's timecode as it moves, and
// reopens when the device, the channel or the frame rate changes. Main thread only.
class LtcSender : public QObject {
    Q_OBJECT
public:
    LtcSender(DMXController& controller, TimecodeSettings& settings, QObject* parent = nullptr);
    ~LtcSender() override;

    bool sending() const { return output_ != nullptr; }
    // Why LTC cannot be sent ("No audio output device"); empty while it can or is not asked for.
    const QString& problem() const { return problem_; }

    // Writes the LTC to a WAV file in place of the audio output, for recordings and tests;
    // empty goes back to the output.
    void writeTo(const QString& file);

signals:
    void statusChanged();

private:
    struct Target {
        QString device;
        int channel = 1;
        int fps = 25;
        QString file;
        bool operator==(const Target&) const = default;
    };

    void configure();
    void stop();
    void moved(double position, double rate, double framesPerSecond);
    void failed(const QString& problem);

    TimecodeSettings& settings_;
    int fps_ = 25;
    QString file_;
    std::unique_ptr<LtcOutput> output_;
    std::optional<Target> openedFor_;
    // What the output was last told; a motion that agrees with it keeps the signal's phase.
    std::optional<LtcOutput::Motion> motion_;
    unsigned run_ = 0;
    QString problem_;
    // Last, so that a start still running ends before the rest goes.
    SerialQueue starts_{"orvelo.ltc-out"};
};

} // namespace orvelo
