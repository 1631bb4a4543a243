#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace orvelo {

class SyncGroup;
class SyncSettings;

// The window's sync group section: the role, the leader's address, the group's name and key
// (written, never shown), the clock port and the lead time, and a line saying how the group
// stands (refreshed every second while the player is in a group). Main thread only.
class SyncViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList roleNames READ roleNames CONSTANT)
    Q_PROPERTY(int roleIndex READ roleIndex WRITE setRoleIndex NOTIFY changed)
    Q_PROPERTY(QString leader READ leader NOTIFY changed)
    Q_PROPERTY(QString group READ group NOTIFY changed)
    Q_PROPERTY(bool keySet READ keySet NOTIFY changed)
    Q_PROPERTY(int clockPort READ clockPort WRITE setClockPort NOTIFY changed)
    Q_PROPERTY(int leadTimeMs READ leadTimeMs WRITE setLeadTimeMs NOTIFY changed)
    Q_PROPERTY(int minimumLeadTimeMs READ minimumLeadTimeMs CONSTANT)
    Q_PROPERTY(int maximumLeadTimeMs READ maximumLeadTimeMs CONSTANT)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
public:
    SyncViewModel(SyncSettings& settings, SyncGroup& group, QObject* parent = nullptr);

    QStringList roleNames() const;
    int roleIndex() const;
    void setRoleIndex(int index);
    QString leader() const;
    // False, changing nothing, when the text is no IPv4 address with an optional port.
    Q_INVOKABLE bool setLeader(const QString& text);
    QString group() const;
    // False, changing nothing, when the name is longer than the group allows.
    Q_INVOKABLE bool setGroup(const QString& text);
    bool keySet() const;
    Q_INVOKABLE void setKey(const QString& key);
    int clockPort() const;
    void setClockPort(int port);
    int leadTimeMs() const;
    void setLeadTimeMs(int milliseconds);
    int minimumLeadTimeMs() const;
    int maximumLeadTimeMs() const;
    QString status() const;

signals:
    void changed();
    void statusChanged();

private:
    SyncSettings& settings_;
    SyncGroup& group_;
    QTimer refresh_;
};

} // namespace orvelo
