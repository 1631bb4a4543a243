#include "settings/SyncSettings.h"

#include "platform/MainThread.h"

#include <QRegularExpression>

namespace orvelo {

std::optional<SyncSettings::Role> SyncSettings::roleFromText(const QString& text)
{
    for (const Role role : {Role::off, Role::leader, Role::follower})
        if (text == SyncSettings::text(role))
            return role;
    return std::nullopt;
}

QString SyncSettings::text(Role role)
{
    switch (role) {
    case Role::leader:
        return QStringLiteral("leader");
    case Role::follower:
        return QStringLiteral("follower");
    case Role::off:
        break;
    }
    return QStringLiteral("off");
}

std::optional<SyncSettings::Address> SyncSettings::parseAddress(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3}(?:\\.\\d{1,3}){3})(?::(\\d{1,5}))?$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    for (const auto& part : match.captured(1).split(QLatin1Char('.')))
        if (part.toInt() > 255)
            return std::nullopt;
    int port = defaultMessagePort;
    if (match.hasCaptured(2)) {
        port = match.captured(2).toInt();
        if (port < 1 || port > 65535)
            return std::nullopt;
    }
    return Address{match.captured(1), static_cast<std::uint16_t>(port)};
}

SyncSettings& SyncSettings::shared()
{
    static SyncSettings instance;
    return instance;
}

SyncSettings::SyncSettings(QObject* parent) : QObject(parent)
{
    if (const auto text = store_.text(roleKey))
        role_ = roleFromText(*text).value_or(Role::off);
    if (const auto text = store_.text(leaderKey); text && parseAddress(*text))
        leader_ = *text;
    if (const auto text = store_.text(groupKey); text && text->toUtf8().size() <= maximumGroupBytes)
        group_ = *text;
    key_ = store_.text(keyKey).value_or(QString());
    clockPort_ = static_cast<std::uint16_t>(store_.wholeNumber(clockPortKey, 1, 65535).value_or(defaultClockPort));
    leadTimeMs_ = store_.wholeNumber(leadTimeKey, minimumLeadTimeMs, maximumLeadTimeMs).value_or(defaultLeadTimeMs);
}

void SyncSettings::store(const QString& key, const QString& value)
{
    store_.setText(key, value);
    emit changed();
}

void SyncSettings::setRole(Role role)
{
    assertMainThread();
    if (role == role_)
        return;
    role_ = role;
    store(roleKey, text(role));
}

bool SyncSettings::setLeader(const QString& leader)
{
    assertMainThread();
    if (!leader.isEmpty() && !parseAddress(leader))
        return false;
    if (leader != leader_) {
        leader_ = leader;
        store(leaderKey, leader);
    }
    return true;
}

bool SyncSettings::setGroup(const QString& group)
{
    assertMainThread();
    if (group.toUtf8().size() > maximumGroupBytes)
        return false;
    if (group != group_) {
        group_ = group;
        store(groupKey, group);
    }
    return true;
}

void SyncSettings::setKey(const QString& key)
{
    assertMainThread();
    if (key == key_)
        return;
    key_ = key;
    store(keyKey, key);
}

bool SyncSettings::setClockPort(int port)
{
    assertMainThread();
    if (port < 1 || port > 65535)
        return false;
    if (port != clockPort_) {
        clockPort_ = static_cast<std::uint16_t>(port);
        store(clockPortKey, QString::number(port));
    }
    return true;
}

bool SyncSettings::setLeadTimeMs(int milliseconds)
{
    assertMainThread();
    if (milliseconds < minimumLeadTimeMs || milliseconds > maximumLeadTimeMs)
        return false;
    if (milliseconds != leadTimeMs_) {
        leadTimeMs_ = milliseconds;
        store(leadTimeKey, QString::number(milliseconds));
    }
    return true;
}

} // namespace orvelo
