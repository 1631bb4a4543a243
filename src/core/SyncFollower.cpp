#include "core/SyncFollower.h"

#include "core/DMXController.h"
#include "core/GroupLook.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/media/GroupClock.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvelo {

SyncFollower::SyncFollower(DMXController& controller, PlaybackEngine& engine, const QString& group,
                           const sync::Key& key, const sockaddr_in& leader, QObject* parent)
    : QObject(parent), controller_(&controller), engine_(&engine), group_(group.toStdString()), key_(key),
      leader_(leader),
      receiver_(
          DatagramReceiver::Options::named(0, "SyncFollower"),
          [this](std::span<const std::uint8_t> datagram, const sockaddr_in& from) {
              auto decoded = sync::decode(datagram, key_);
              if (auto* message = std::get_if<sync::Message>(&decoded)) {
                  postToMain(this, [this, message = std::move(*message), from] { received(message, from); });
              } else {
                  const std::string line = std::string("SyncFollower: Dropped a message: ") +
                                           sync::describe(std::get<sync::DecodeError>(decoded));
                  postToMain(this, [line] { logLine(line); });
              }
          },
          [](const ReceiveFailure& failure) { logLine("SyncFollower: " + failure.text()); })
{
    if (const auto failure = receiver_.start())
        problem_ = QString::fromStdString(failure->text());
    timer_.setInterval(joinInterval);
    connect(&timer_, &QTimer::timeout, this, &SyncFollower::join);
    timer_.start();
    join();
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &leader_.sin_addr, address, sizeof address);
    logLine("SyncFollower: Following group \"" + group_ + "\" led from " + address + ":" +
            std::to_string(ntohs(leader_.sin_port)) + ", listening on port " + std::to_string(receiver_.port()));
}

SyncFollower::~SyncFollower()
{
    receiver_.close();
}

void SyncFollower::send(const sync::Body& body)
{
    const auto datagram = sync::encode({group_, body}, key_);
    if (datagram && receiver_.isOpen())
        ::sendto(receiver_.fd(), datagram->data(), datagram->size(), 0, reinterpret_cast<const sockaddr*>(&leader_),
                 sizeof leader_);
}

void SyncFollower::join()
{
    const bool calibrated = GroupClock::shared().calibration().synchronised;
    if (locked_ && !calibrated) {
        locked_ = false;
        emit statusChanged();
    }
    char name[65] = {};
    ::gethostname(name, sizeof name - 1);
    send(sync::Join{name, receiver_.port(), GroupClock::shared().now()});
}

void SyncFollower::received(const sync::Message& message, const sockaddr_in& from)
{
    if (from.sin_addr.s_addr != leader_.sin_addr.s_addr || message.group != group_) {
        logLine("SyncFollower: Dropped a message that is not from the group's leader");
        return;
    }
    const auto* state = std::get_if<sync::State>(&message.body);
    if (!state)
        return;
    // A repeat of what was applied changes nothing; an older one is a datagram overtaken.
    if (!applied_ || state->sequence > applied_->sequence || state->sequence + 1000 < applied_->sequence)
        apply(*state);
    report();
}

void SyncFollower::apply(const sync::State& state)
{
    // A new look alone must not restart the picture.
    const bool sameTimeline = applied_ && applied_->transport == state.transport && applied_->track == state.track &&
                              applied_->position == state.position && applied_->rate == state.rate &&
                              applied_->clockTime == state.clockTime;
    applied_ = state;
    applyLook(state.effects);
    PlaybackEngine* engine = engine_.data();
    if (!engine || !controller_ || sameTimeline)
        return;
    QString error;
    if (state.transport == sync::Transport::stopped) {
        engine->stop();
    } else {
        const QString name = QString::fromStdString(state.track);
        std::optional<MediaTrack> track;
        for (const MediaTrack& t : controller_->playlist().playlist())
            if (t.name == name) {
                track = t;
                break;
            }
        if (!track) {
            error = QStringLiteral("Missing track: ") + name;
        } else {
            engine->followGroup(*track, GroupTimeline{state.transport == sync::Transport::playing, state.position,
                                                      state.rate, state.clockTime});
            if (engine->state() == PlaybackState::failed)
                error = engine->error();
        }
    }
    const bool locked = GroupClock::shared().calibration().synchronised && error.isEmpty();
    if (error != error_ || locked != locked_) {
        if (!error.isEmpty() && error != error_)
            logLine("SyncFollower: " + error.toStdString());
        error_ = error;
        locked_ = locked;
        emit statusChanged();
    }
}

void SyncFollower::applyLook(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.empty() || bytes == lookApplied_)
        return;
    lookApplied_ = bytes;
    if (const auto look = GroupLook::decode(bytes))
        look->applyTo(VideoEffectsManager::shared(), SettingsManager::shared());
    else
        logLine("SyncFollower: The leader's effects are not in a form this player reads; they are left as they are");
}

void SyncFollower::report()
{
    const auto calibration = GroupClock::shared().calibration();
    send(sync::Report{applied_ ? applied_->sequence : 0, locked_, calibration.offsetNs,
                      static_cast<std::uint64_t>(std::max<std::int64_t>(calibration.roundTripNs, 0)),
                      error_.toStdString()});
}

} // namespace orvelo
