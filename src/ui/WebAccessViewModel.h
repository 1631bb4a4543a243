#pragma once

#include "net/NetworkInterface.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace orvelo {

class WebRemoteSettings;

// Who may use the web remote, as the operator's window edits it: the password, the viewer
// link, script tokens, the library roots the web may move the media folder within, the
// interface the server listens on and its pacing and session times. Roots are added here or on
// the command line, never over the web. Main thread.
class WebAccessViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool passwordSet READ passwordSet NOTIFY changed)
    Q_PROPERTY(bool busy READ busy NOTIFY changed)
    Q_PROPERTY(QString message READ message NOTIFY changed)
    Q_PROPERTY(QString viewerLink READ viewerLink NOTIFY changed)
    Q_PROPERTY(QStringList tokens READ tokens NOTIFY changed)
    Q_PROPERTY(QString newToken READ newToken NOTIFY changed)
    Q_PROPERTY(QStringList libraryRoots READ libraryRoots NOTIFY changed)
    Q_PROPERTY(QStringList interfaceNames READ interfaceNames NOTIFY changed)
    Q_PROPERTY(int interfaceIndex READ interfaceIndex WRITE setInterfaceIndex NOTIFY changed)
    Q_PROPERTY(double transportMinInterval READ transportMinInterval WRITE setTransportMinInterval NOTIFY changed)
    Q_PROPERTY(double sessionIdleHours READ sessionIdleHours WRITE setSessionIdleHours NOTIFY changed)
public:
    // `baseURL`: where phones reach the remote ("http://10.0.0.5:8080"), for the viewer link.
    WebAccessViewModel(WebRemoteSettings& settings, QString baseURL, QObject* parent = nullptr);

    static inline const QString openDoorText = QStringLiteral("Anyone on this network can control this player");

    bool passwordSet() const;
    bool busy() const { return busy_; }
    const QString& message() const { return message_; }
    // Hashing takes a moment, so it runs off the main thread; `passwordSet` and `message`
    // change when it is done. An empty password removes it.
    Q_INVOKABLE void setPassword(const QString& password, const QString& confirmation);
    Q_INVOKABLE void removePassword();

    QString viewerLink() const;
    Q_INVOKABLE void renewViewerLink();

    // "name (role)", in the order they were made.
    QStringList tokens() const;
    // The secret of the token made last, shown once; empty after any other change.
    const QString& newToken() const { return newToken_; }
    Q_INVOKABLE void createToken(const QString& name, bool viewerOnly);
    Q_INVOKABLE void revokeToken(int index);

    QStringList libraryRoots() const;
    Q_INVOKABLE void addLibraryRoot(const QUrl& folder);
    Q_INVOKABLE void removeLibraryRoot(int index);

    // "All interfaces" first, then one entry per interface.
    QStringList interfaceNames() const;
    int interfaceIndex() const;
    void setInterfaceIndex(int index);

    double transportMinInterval() const;
    void setTransportMinInterval(double seconds);
    double sessionIdleHours() const;
    void setSessionIdleHours(double hours);

signals:
    void changed();

private:
    void report(const QString& message);

    WebRemoteSettings& settings_;
    QString baseURL_;
    std::vector<NetworkInterface> interfaces_;
    bool busy_ = false;
    QString message_;
    QString newToken_;
};

} // namespace orvelo
