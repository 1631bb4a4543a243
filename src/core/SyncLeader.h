#pragma once

#include "net/DatagramReceiver.h"
#include "net/SyncMessage.h"
#include "platform/media/GroupTimeline.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace orvelo {

class PlaybackEngine;

// Leads a sync group: every timeline the player sets on the group clock (a start, a pause, a
// seek, a new speed, a new track) goes to each follower that has joined, at once and then every
// second, so that a follower that missed one joins in. Followers join and report over the same
// port; anything not made with the group key is dropped with a log line. Main thread; the
// socket is read on a thread of its own that posts what it decodes.
class SyncLeader : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds stateInterval{1};
    // A follower not heard from for this long is left out.
    static constexpr std::chrono::seconds followerTimeout{5};

    struct Follower {
        QString address; // "10.0.0.7:40123"
        QString name;
        double offsetMs = 0;
        double roundTripMs = 0;
        bool locked = false;
        QString error;
    };

    SyncLeader(PlaybackEngine& engine, const QString& group, const sync::Key& key, std::uint16_t port,
               QObject* parent = nullptr);
    ~SyncLeader() override;

    // The reason when the port could not be had; nothing while it listens.
    const std::optional<QString>& problem() const { return problem_; }
    std::vector<Follower> followers() const;
    std::uint16_t port() const { return receiver_.port(); }

signals:
    void followersChanged();

private:
    struct Member {
        sockaddr_in to{};
        Follower follower;
        Clock::time_point lastHeard;
    };

    void received(const sync::Message& message, const sockaddr_in& from);
    void timelineSet(const GroupTimeline& timeline);
    void sendState();
    void tick();
    sync::State state() const;

    QPointer<PlaybackEngine> engine_;
    QTimer lookChanged_;
    std::string group_;
    sync::Key key_;
    DatagramReceiver receiver_;
    std::optional<QString> problem_;
    std::map<std::string, Member> members_;
    std::uint32_t sequence_ = 0;
    sync::State lastSent_;
    GroupTimeline timeline_;
    QTimer timer_;
};

} // namespace orvelo
