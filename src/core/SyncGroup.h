#pragma once

#include "core/SyncFollower.h"
#include "core/SyncLeader.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

namespace orvelo {

class DMXController;
class PlaybackEngine;
class SyncSettings;

// Puts the player in its sync group as the settings say: alone, leading (the group clock
// published, a leader for the followers) or following a leader (the pipelines on a network
// clock calibrated against the leader's). A change of role loads the current track afresh so
// that it runs on the new clock. Main thread only.
class SyncGroup : public QObject {
    Q_OBJECT
public:
    SyncGroup(DMXController& controller, PlaybackEngine& engine, SyncSettings& settings, QObject* parent = nullptr);
    ~SyncGroup() override;

    // "off", "leader" or "follower".
    QString roleText() const;
    // Following: the clock is calibrated and the leader's state applied. Leading or alone: true.
    bool locked() const;
    // This machine's clock minus the group's (following), in milliseconds.
    double offsetMs() const;
    // Why the group cannot work as set ("No leader set", a port in use); empty while it can.
    QString problem() const;
    const SyncLeader* leader() const { return leader_.get(); }
    const SyncFollower* follower() const { return follower_.get(); }

signals:
    void statusChanged();

private:
    void configure();

    DMXController& controller_;
    QPointer<PlaybackEngine> engine_;
    SyncSettings& settings_;
    std::unique_ptr<SyncLeader> leader_;
    std::unique_ptr<SyncFollower> follower_;
    QString problem_;
};

} // namespace orvelo
