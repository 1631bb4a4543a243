#pragma once

#include "platform/SettingsStore.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace orvelo {

// Whether this player plays alone, leads a sync group or follows a leader: the leader's
// address, the group's name and key, the port of the group clock, and how far ahead the leader
// times its commands so that every follower has its picture ready. Every value is written to
// the store the moment it changes. One process-wide instance, `shared()`; main thread only.
class SyncSettings : public QObject {
    Q_OBJECT
public:
    enum class Role { off, leader, follower };

    struct Address {
        QString host;
        std::uint16_t port = 0;
        bool operator==(const Address&) const = default;
    };

    static constexpr std::uint16_t defaultClockPort = 9650;
    static constexpr std::uint16_t defaultMessagePort = 9651;
    static constexpr int defaultLeadTimeMs = 150;
    static constexpr int minimumLeadTimeMs = 20;
    static constexpr int maximumLeadTimeMs = 2000;
    static constexpr int maximumGroupBytes = 64;

    static inline const QString roleKey = QStringLiteral("syncRole");
    static inline const QString leaderKey = QStringLiteral("syncLeader");
    static inline const QString groupKey = QStringLiteral("syncGroup");
    static inline const QString keyKey = QStringLiteral("syncKey");
    static inline const QString clockPortKey = QStringLiteral("syncClockPort");
    static inline const QString leadTimeKey = QStringLiteral("syncLeadTimeMs");

    static std::optional<Role> roleFromText(const QString& text);
    static QString text(Role role);
    // "address" or "address:port", an IPv4 address (a name would need a lookup that can hang
    // the main thread); the message port unless given.
    static std::optional<Address> parseAddress(const QString& text);

    static SyncSettings& shared();
    // Reads the store; a stored value that does not parse reads as its default.
    explicit SyncSettings(QObject* parent = nullptr);

    Role role() const { return role_; }
    void setRole(Role role);
    // The leader as written ("10.0.0.5:9651"), and parsed; empty until set.
    const QString& leader() const { return leader_; }
    std::optional<Address> leaderAddress() const { return parseAddress(leader_); }
    // Refused (false) when it does not parse.
    bool setLeader(const QString& leader);
    const QString& group() const { return group_; }
    // Refused (false) when longer than maximumGroupBytes in UTF-8.
    bool setGroup(const QString& group);
    // Never shown anywhere: only whether one is set.
    const QString& key() const { return key_; }
    bool hasKey() const { return !key_.isEmpty(); }
    void setKey(const QString& key);
    std::uint16_t clockPort() const { return clockPort_; }
    // Refused (false) for 0.
    bool setClockPort(int port);
    int leadTimeMs() const { return leadTimeMs_; }
    // Refused (false) outside minimumLeadTimeMs to maximumLeadTimeMs.
    bool setLeadTimeMs(int milliseconds);

signals:
    void changed();

private:
    void store(const QString& key, const QString& value);

    SettingsStore store_;
    Role role_ = Role::off;
    QString leader_;
    QString group_;
    QString key_;
    std::uint16_t clockPort_ = defaultClockPort;
    int leadTimeMs_ = defaultLeadTimeMs;
};

} // namespace orvelo
