#pragma once

#include "net/DatagramReceiver.h"
#include "net/SyncMessage.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <netinet/in.h>

#include <cstdint>
#include <optional>

namespace orvelo {

class DMXController;
class PlaybackEngine;

// Follows a sync group's leader: joins it every second (which also tells the leader it is
// still there), plays what each state from the leader says, on the group clock, with the
// track of the same name from its own playlist, and reports back how its clock stands and
// what it cannot play. Anything not made with the group key is dropped with a log line. Main
// thread; the socket is read on a thread of its own that posts what it decodes.
class SyncFollower : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds joinInterval{1};

    SyncFollower(DMXController& controller, PlaybackEngine& engine, const QString& group, const sync::Key& key,
                 const sockaddr_in& leader, QObject* parent = nullptr);
    ~SyncFollower() override;

    const std::optional<QString>& problem() const { return problem_; }
    // The last state from the leader has been applied, on a calibrated clock.
    bool locked() const { return locked_; }
    // What the follower cannot do ("Missing file: intro.mov"); empty while all is well.
    const QString& error() const { return error_; }

signals:
    void statusChanged();

private:
    void received(const sync::Message& message, const sockaddr_in& from);
    void apply(const sync::State& state);
    void applyLook(const std::vector<std::uint8_t>& bytes);
    void join();
    void report();
    void send(const sync::Body& body);

    QPointer<DMXController> controller_;
    QPointer<PlaybackEngine> engine_;
    std::string group_;
    sync::Key key_;
    sockaddr_in leader_{};
    DatagramReceiver receiver_;
    std::optional<QString> problem_;
    std::optional<sync::State> applied_;
    std::vector<std::uint8_t> lookApplied_;
    bool locked_ = false;
    QString error_;
    QTimer timer_;
};

} // namespace orvelo
