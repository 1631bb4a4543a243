#include "core/SyncLeader.h"

#include "core/GroupLook.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/media/GroupClock.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <arpa/inet.h>
#include <sys/socket.h>

namespace orvelo {

namespace {

std::string addressText(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace

SyncLeader::SyncLeader(PlaybackEngine& engine, const QString& group, const sync::Key& key, std::uint16_t port,
                       QObject* parent)
    : QObject(parent), engine_(&engine), group_(group.toStdString()), key_(key),
      receiver_(
          DatagramReceiver::Options::named(port, "SyncLeader"),
          [this](std::span<const std::uint8_t> datagram, const sockaddr_in& from) {
              // Decoded here, off the main thread; only authentic messages are posted.
              auto decoded = sync::decode(datagram, key_);
              if (auto* message = std::get_if<sync::Message>(&decoded)) {
                  postToMain(this, [this, message = std::move(*message), from] { received(message, from); });
              } else {
                  const std::string line = "SyncLeader: Dropped a message from " + addressText(from) + ": " +
                                           sync::describe(std::get<sync::DecodeError>(decoded));
                  postToMain(this, [line] { logLine(line); });
              }
          },
          [](const ReceiveFailure& failure) { logLine("SyncLeader: " + failure.text()); })
{
    if (const auto failure = receiver_.start())
        problem_ = QString::fromStdString(failure->text());
    connect(&engine, &PlaybackEngine::timelineSet, this, &SyncLeader::timelineSet);
    connect(&engine, &PlaybackEngine::stateChanged, this, [this] { sendState(); });
    // A console fading an effect changes it every frame: one state per turn of the loop.
    lookChanged_.setSingleShot(true);
    lookChanged_.setInterval(0);
    connect(&lookChanged_, &QTimer::timeout, this, &SyncLeader::sendState);
    const auto changed = [this] { lookChanged_.start(); };
    connect(&VideoEffectsManager::shared(), &VideoEffectsManager::aboutToChange, this, changed);
    connect(&SettingsManager::shared(), &SettingsManager::selectedPatternChanged, this, changed);
    connect(&SettingsManager::shared(), &SettingsManager::patternSpeedChanged, this, changed);
    timer_.setInterval(stateInterval);
    connect(&timer_, &QTimer::timeout, this, &SyncLeader::tick);
    timer_.start();
    logLine("SyncLeader: Leading group \"" + group_ + "\" on port " + std::to_string(receiver_.port()));
}

SyncLeader::~SyncLeader()
{
    receiver_.close();
}

std::vector<SyncLeader::Follower> SyncLeader::followers() const
{
    std::vector<Follower> out;
    for (const auto& [address, member] : members_)
        out.push_back(member.follower);
    return out;
}

void SyncLeader::received(const sync::Message& message, const sockaddr_in& from)
{
    if (message.group != group_) {
        logLine("SyncLeader: Dropped a message for group \"" + message.group + "\" from " + addressText(from));
        return;
    }
    if (const auto* join = std::get_if<sync::Join>(&message.body)) {
        // Answered where it came from, which a router or relay on the way may have changed.
        const sockaddr_in to = from;
        const std::string key = addressText(to);
        const bool added = !members_.contains(key);
        Member& member = members_[key];
        member.to = to;
        member.lastHeard = Clock::now();
        member.follower.address = QString::fromStdString(key);
        member.follower.name = QString::fromStdString(join->follower);
        if (added) {
            logLine("SyncLeader: " + join->follower + " joined from " + key);
            emit followersChanged();
        }
        // A newcomer learns where the group is at once.
        sendState();
    } else if (const auto* report = std::get_if<sync::Report>(&message.body)) {
        for (auto& [key, member] : members_) {
            if (member.to.sin_addr.s_addr != from.sin_addr.s_addr || member.to.sin_port != from.sin_port)
                continue;
            member.lastHeard = Clock::now();
            member.follower.offsetMs = static_cast<double>(report->offsetNs) / 1e6;
            member.follower.roundTripMs = static_cast<double>(report->roundTripNs) / 1e6;
            member.follower.locked = report->locked;
            const QString error = QString::fromStdString(report->error);
            if (error != member.follower.error && !error.isEmpty())
                logLine("SyncLeader: " + member.follower.name.toStdString() + ": " + report->error);
            member.follower.error = error;
            emit followersChanged();
        }
    }
}

void SyncLeader::timelineSet(const GroupTimeline& timeline)
{
    timeline_ = timeline;
    sendState();
}

sync::State SyncLeader::state() const
{
    sync::State state;
    const auto& track = engine_ ? engine_->currentTrack() : std::nullopt;
    const bool stopped =
        !engine_ || !track || engine_->state() == PlaybackState::stopped || engine_->state() == PlaybackState::failed;
    state.track = track ? track->name.toStdString() : std::string();
    state.transport = stopped             ? sync::Transport::stopped
                      : timeline_.playing ? sync::Transport::playing
                                          : sync::Transport::paused;
    state.position = timeline_.position;
    state.rate = timeline_.rate;
    state.clockTime = timeline_.clockTime;
    state.effects = GroupLook::capture(VideoEffectsManager::shared(), SettingsManager::shared()).encode();
    return state;
}

void SyncLeader::sendState()
{
    sync::State now = state();
    // The sequence tells a change from a repeat.
    now.sequence = lastSent_.sequence;
    if (now != lastSent_)
        now.sequence = ++sequence_;
    lastSent_ = now;
    if (members_.empty() || !receiver_.isOpen())
        return;
    const auto datagram = sync::encode({group_, now}, key_);
    if (!datagram)
        return;
    for (const auto& [key, member] : members_)
        ::sendto(receiver_.fd(), datagram->data(), datagram->size(), 0, reinterpret_cast<const sockaddr*>(&member.to),
                 sizeof member.to);
}

void SyncLeader::tick()
{
    const auto now = Clock::now();
    bool changed = false;
    for (auto it = members_.begin(); it != members_.end();) {
        if (now - it->second.lastHeard > followerTimeout) {
            logLine("SyncLeader: " + it->second.follower.name.toStdString() + " at " + it->first + " left");
            it = members_.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (changed)
        emit followersChanged();
    sendState();
}

} // namespace orvelo
