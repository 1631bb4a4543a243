#include "ui/SyncViewModel.h"

#include "core/SyncGroup.h"
#include "settings/SyncSettings.h"

namespace orvelo {

SyncViewModel::SyncViewModel(SyncSettings& settings, SyncGroup& group, QObject* parent)
    : QObject(parent), settings_(settings), group_(group)
{
    refresh_.setInterval(1000);
    connect(&refresh_, &QTimer::timeout, this, &SyncViewModel::statusChanged);
    connect(&settings_, &SyncSettings::changed, this, [this] {
        emit changed();
        emit statusChanged();
    });
    connect(&group_, &SyncGroup::statusChanged, this, &SyncViewModel::statusChanged);
    refresh_.start();
}

QStringList SyncViewModel::roleNames() const
{
    return {QStringLiteral("Off"), QStringLiteral("Leader"), QStringLiteral("Follower")};
}

int SyncViewModel::roleIndex() const
{
    return static_cast<int>(settings_.role());
}

void SyncViewModel::setRoleIndex(int index)
{
    for (const auto role : {SyncSettings::Role::off, SyncSettings::Role::leader, SyncSettings::Role::follower})
        if (static_cast<int>(role) == index)
            settings_.setRole(role);
}

QString SyncViewModel::leader() const
{
    return settings_.leader();
}

bool SyncViewModel::setLeader(const QString& text)
{
    if (settings_.setLeader(text.trimmed()))
        return true;
    emit changed(); // the field shows the address in force again
    return false;
}

QString SyncViewModel::group() const
{
    return settings_.group();
}

bool SyncViewModel::setGroup(const QString& text)
{
    if (settings_.setGroup(text.trimmed()))
        return true;
    emit changed();
    return false;
}

bool SyncViewModel::keySet() const
{
    return settings_.hasKey();
}

void SyncViewModel::setKey(const QString& key)
{
    settings_.setKey(key);
}

int SyncViewModel::clockPort() const
{
    return settings_.clockPort();
}

void SyncViewModel::setClockPort(int port)
{
    settings_.setClockPort(port);
}

int SyncViewModel::leadTimeMs() const
{
    return settings_.leadTimeMs();
}

void SyncViewModel::setLeadTimeMs(int milliseconds)
{
    settings_.setLeadTimeMs(milliseconds);
}

int SyncViewModel::minimumLeadTimeMs() const
{
    return SyncSettings::minimumLeadTimeMs;
}

int SyncViewModel::maximumLeadTimeMs() const
{
    return SyncSettings::maximumLeadTimeMs;
}

QString SyncViewModel::status() const
{
    if (settings_.role() == SyncSettings::Role::off)
        return QStringLiteral("Plays alone");
    if (!group_.problem().isEmpty())
        return group_.problem();
    if (const SyncLeader* leader = group_.leader()) {
        const auto followers = leader->followers();
        if (followers.empty())
            return QStringLiteral("Leading; no follower has joined");
        QStringList lines;
        for (const auto& f : followers)
            lines << QStringLiteral("%1 (%2): %3, offset %4 ms, round trip %5 ms%6")
                         .arg(f.name, f.address, f.locked ? QStringLiteral("locked") : QStringLiteral("not locked"))
                         .arg(f.offsetMs, 0, 'f', 2)
                         .arg(f.roundTripMs, 0, 'f', 2)
                         .arg(f.error.isEmpty() ? QString() : QStringLiteral(" · ") + f.error);
        return lines.join(QLatin1Char('\n'));
    }
    return QStringLiteral("%1 · clock offset %2 ms")
        .arg(group_.locked() ? QStringLiteral("Locked to the leader") : QStringLiteral("Waiting for the leader"))
        .arg(group_.offsetMs(), 0, 'f', 2);
}

} // namespace orvelo
