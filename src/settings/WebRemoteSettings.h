#pragma once

#include "platform/SettingsStore.h"
#include "settings/AccessRole.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace orvelo {

// Who may use the web remote and how it is reached: the operator password (kept only as a
// salted hash), named bearer tokens for scripts (kept only as digests), the viewer link's key,
// the session idle time, the minimum interval between transport commands, the interface the
// server listens on, extra host names it answers to, and the library roots the media folder
// may be moved within. Every value is written to the store the moment it changes. One
// process-wide instance, `shared()`; main thread only.
class WebRemoteSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool passwordSet READ passwordSet NOTIFY accessChanged)
    Q_PROPERTY(double sessionIdleHours READ sessionIdleHours NOTIFY sessionIdleHoursChanged)
    Q_PROPERTY(double transportMinInterval READ transportMinInterval NOTIFY transportMinIntervalChanged)
    Q_PROPERTY(QString interfaceName READ interfaceName NOTIFY interfaceNameChanged)
    Q_PROPERTY(QStringList hostNames READ hostNames NOTIFY hostNamesChanged)
    Q_PROPERTY(QStringList libraryRoots READ libraryRoots NOTIFY libraryRootsChanged)
public:
    static inline const QString passwordHashKey = QStringLiteral("webPasswordHash");
    static inline const QString tokensKey = QStringLiteral("webTokens");
    static inline const QString viewerKeyKey = QStringLiteral("webViewerKey");
    static inline const QString sessionIdleHoursKey = QStringLiteral("webSessionIdleHours");
    static inline const QString transportMinIntervalKey = QStringLiteral("webTransportMinInterval");
    static inline const QString interfaceNameKey = QStringLiteral("webInterface");
    static inline const QString hostNamesKey = QStringLiteral("webHostNames");
    static inline const QString libraryRootsKey = QStringLiteral("libraryRoots");

    static constexpr qsizetype maximumPasswordLength = 1024;
    static constexpr double defaultSessionIdleHours = 12.0;
    static constexpr double maximumSessionIdleHours = 24.0 * 90;
    static constexpr double defaultTransportMinInterval = 0.5;
    static constexpr double maximumTransportMinInterval = 10.0;

    struct Token {
        QString name;
        AccessRole role = AccessRole::operate;
        QString digest; // of the secret, which is shown once and never kept
        QDateTime created;
    };

    static WebRemoteSettings& shared();
    // Reads the store; values of the wrong kind or out of range read as their defaults.
    explicit WebRemoteSettings(QObject* parent = nullptr);

    bool passwordSet() const { return !passwordHash_.isEmpty(); }
    const QString& passwordHash() const { return passwordHash_; }
    // An empty password removes it (the remote is open again). Hashing takes a fraction of a
    // second. The reason when it cannot be set.
    std::optional<QString> setPassword(const QString& password);
    // A hash made by secrets::hashPassword() elsewhere (off the main thread); empty removes
    // the password.
    std::optional<QString> setPasswordHash(const QString& hash);

    const QList<Token>& tokens() const { return tokens_; }
    struct NewToken {
        std::optional<QString> secret; // shown to the operator once
        QString refusal;               // why not, when there is no secret
    };
    // Names are 1 to 64 printable characters, unique.
    NewToken createToken(const QString& name, AccessRole role);
    // False when no token has that name.
    bool revokeToken(const QString& name);

    // The key of the viewer link, made on first use; renewing it ends the old link.
    QString viewerKey();
    QString renewViewerKey();

    // How long a web session lasts without being used. Refused outside (0, 2160] hours.
    double sessionIdleHours() const { return sessionIdleHours_; }
    std::optional<QString> setSessionIdleHours(double hours);
    // Transport commands from the web closer together than this are ignored. [0, 10] s.
    double transportMinInterval() const { return transportMinInterval_; }
    std::optional<QString> setTransportMinInterval(double seconds);
    // The interface the web server listens on; empty: all of them.
    const QString& interfaceName() const { return interfaceName_; }
    void setInterfaceName(const QString& name);
    // Names besides IP literals, "localhost" and the machine's own that the server answers to.
    const QStringList& hostNames() const { return hostNames_; }
    // Each must be a host name (settings/HostName.h); they are kept in lower case.
    std::optional<QString> setHostNames(const QStringList& names);

    // The roots the operator added (on the player, never over the web).
    const QStringList& libraryRoots() const { return libraryRoots_; }
    // Every root: the default media folder's parent first, then the operator's.
    QStringList allLibraryRoots() const;
    // Refuses "/", the home folder itself and system folders; adding one twice does nothing.
    std::optional<QString> addLibraryRoot(const QString& folder);
    void removeLibraryRoot(const QString& folder);

signals:
    // The password, the tokens or the viewer key changed: sessions and links may be void.
    void accessChanged();
    void sessionIdleHoursChanged();
    void transportMinIntervalChanged();
    void interfaceNameChanged();
    void hostNamesChanged();
    void libraryRootsChanged();

private:
    void storeTokens();
    void storeList(const QString& key, const QStringList& values);

    SettingsStore store_;
    QString passwordHash_;
    QList<Token> tokens_;
    QString viewerKey_;
    double sessionIdleHours_ = defaultSessionIdleHours;
    double transportMinInterval_ = defaultTransportMinInterval;
    QString interfaceName_;
    QStringList hostNames_;
    QStringList libraryRoots_;
};

} // namespace orvelo
