#include "core/SyncGroup.h"

#include "core/DMXController.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/media/GroupClock.h"
#include "playback/PlaybackEngine.h"
#include "settings/SyncSettings.h"

#include <arpa/inet.h>

namespace orvelo {

SyncGroup::SyncGroup(DMXController& controller, PlaybackEngine& engine, SyncSettings& settings, QObject* parent)
    : QObject(parent), controller_(controller), engine_(&engine), settings_(settings)
{
    connect(&settings_, &SyncSettings::changed, this, &SyncGroup::configure);
    configure();
}

SyncGroup::~SyncGroup()
{
    leader_.reset();
    follower_.reset();
    GroupClock::shared().standAlone();
}

void SyncGroup::configure()
{
    assertMainThread();
    const auto roleBefore = GroupClock::shared().role();
    leader_.reset();
    follower_.reset();
    problem_.clear();
    GroupClock& clock = GroupClock::shared();
    clock.setLeadNs(static_cast<std::uint64_t>(settings_.leadTimeMs()) * 1'000'000);
    const sync::Key key = sync::keyFrom(settings_.key().toStdString());
    switch (settings_.role()) {
    case SyncSettings::Role::off:
        clock.standAlone();
        break;
    case SyncSettings::Role::leader:
        if (const auto failure = clock.publish(settings_.clockPort())) {
            problem_ = QString::fromStdString(*failure);
            clock.standAlone();
            break;
        }
        leader_ = std::make_unique<SyncLeader>(*engine_, settings_.group(), key,
                                               settings_.leaderAddress() ? settings_.leaderAddress()->port
                                                                         : SyncSettings::defaultMessagePort);
        if (leader_->problem())
            problem_ = *leader_->problem();
        connect(leader_.get(), &SyncLeader::followersChanged, this, &SyncGroup::statusChanged);
        break;
    case SyncSettings::Role::follower: {
        const auto address = settings_.leaderAddress();
        sockaddr_in leader{};
        leader.sin_family = AF_INET;
        if (!address || ::inet_pton(AF_INET, address->host.toStdString().c_str(), &leader.sin_addr) != 1) {
            problem_ = QStringLiteral("No leader set");
            clock.standAlone();
            break;
        }
        leader.sin_port = htons(address->port);
        if (const auto failure = clock.follow(address->host.toStdString(), settings_.clockPort())) {
            problem_ = QString::fromStdString(*failure);
            clock.standAlone();
            break;
        }
        follower_ = std::make_unique<SyncFollower>(controller_, *engine_, settings_.group(), key, leader);
        if (follower_->problem())
            problem_ = *follower_->problem();
        connect(follower_.get(), &SyncFollower::statusChanged, this, &SyncGroup::statusChanged);
        break;
    }
    }
    // A follower plays what the leader says; the console and the web drive the leader.
    controller_.setTransportFollowsLeader(follower_ != nullptr);
    if (!problem_.isEmpty())
        logLine("SyncGroup: " + problem_.toStdString());
    if (engine_ && clock.role() != roleBefore)
        engine_->reloadCurrent();
    emit statusChanged();
}

QString SyncGroup::roleText() const
{
    return SyncSettings::text(settings_.role());
}

bool SyncGroup::locked() const
{
    return follower_ ? follower_->locked() : problem_.isEmpty();
}

double SyncGroup::offsetMs() const
{
    return follower_ ? static_cast<double>(GroupClock::shared().calibration().offsetNs) / 1e6 : 0.0;
}

QString SyncGroup::problem() const
{
    if (!problem_.isEmpty())
        return problem_;
    return follower_ ? follower_->error() : QString();
}

} // namespace orvelo
