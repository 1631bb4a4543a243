#include "settings/WebRemoteSettings.h"

#include "platform/MainThread.h"

#include "platform/Log.h"
#include "platform/Secrets.h"
#include "settings/HostName.h"
#include "settings/LibraryRoots.h"
#include "settings/SettingsManager.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace orvelo {

namespace {

std::optional<double> storedNumber(const SettingsStore& store, const QString& key, double low, double high)
{
    const auto text = store.text(key);
    bool ok = false;
    const double value = text ? text->toDouble(&ok) : 0.0;
    if (!ok || !std::isfinite(value) || value < low || value > high)
        return std::nullopt;
    return value;
}

QStringList storedList(const SettingsStore& store, const QString& key)
{
    QStringList values;
    const auto text = store.text(key);
    if (!text)
        return values;
    for (const QJsonValue& value : QJsonDocument::fromJson(text->toUtf8()).array())
        if (value.isString() && !value.toString().isEmpty())
            values.append(value.toString());
    return values;
}

bool isPrintableName(const QString& name)
{
    if (name.trimmed().isEmpty() || name.size() > 64)
        return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

} // namespace

WebRemoteSettings& WebRemoteSettings::shared()
{
    static auto* instance = new WebRemoteSettings;
    return *instance;
}

WebRemoteSettings::WebRemoteSettings(QObject* parent) : QObject(parent)
{
    passwordHash_ = store_.text(passwordHashKey).value_or(QString());
    viewerKey_ = store_.text(viewerKeyKey).value_or(QString());
    if (const auto text = store_.text(tokensKey)) {
        for (const QJsonValue& value : QJsonDocument::fromJson(text->toUtf8()).array()) {
            const QJsonObject object = value.toObject();
            const auto role = accessRoleFromRawValue(object.value("role").toString().toStdString());
            const QString name = object.value("name").toString();
            const QString digest = object.value("digest").toString();
            if (role && isPrintableName(name) && digest.size() == 64)
                tokens_.append(
                    {name, *role, digest, QDateTime::fromString(object.value("created").toString(), Qt::ISODate)});
        }
    }
    sessionIdleHours_ =
        storedNumber(store_, sessionIdleHoursKey, 1e-6, maximumSessionIdleHours).value_or(defaultSessionIdleHours);
    transportMinInterval_ = storedNumber(store_, transportMinIntervalKey, 0.0, maximumTransportMinInterval)
                                .value_or(defaultTransportMinInterval);
    interfaceName_ = store_.text(interfaceNameKey).value_or(QString());
    for (const QString& name : storedList(store_, hostNamesKey))
        if (const auto host = normalizedHostName(name))
            hostNames_.append(*host);
    for (const QString& root : storedList(store_, libraryRootsKey))
        if (!LibraryRoots::refusal(root, QDir::homePath()))
            libraryRoots_.append(QDir::cleanPath(root));
}

std::optional<QString> WebRemoteSettings::setPassword(const QString& password)
{
    assertMainThread();
    if (password.size() > maximumPasswordLength)
        return QStringLiteral("The password is too long");
    if (password.isEmpty())
        return setPasswordHash({});
    const auto hash = secrets::hashPassword(password.toStdString());
    if (!hash)
        return QStringLiteral("The password could not be hashed");
    return setPasswordHash(QString::fromStdString(*hash));
}

std::optional<QString> WebRemoteSettings::setPasswordHash(const QString& hash)
{
    assertMainThread();
    passwordHash_ = hash;
    if (hash.isEmpty())
        store_.remove(passwordHashKey);
    else
        store_.setText(passwordHashKey, hash);
    const bool written = store_.sync();
    logLine(hash.isEmpty() ? "WebRemoteSettings: Password removed" : "WebRemoteSettings: Password set");
    emit accessChanged();
    if (!written)
        return QStringLiteral("The settings could not be written");
    return std::nullopt;
}

WebRemoteSettings::NewToken WebRemoteSettings::createToken(const QString& name, AccessRole role)
{
    assertMainThread();
    if (!isPrintableName(name))
        return {std::nullopt, QStringLiteral("A token name is 1 to 64 printable characters")};
    for (const Token& token : tokens_)
        if (token.name == name)
            return {std::nullopt, QStringLiteral("A token named %1 exists").arg(name)};
    const std::string secret = secrets::randomToken();
    tokens_.append({name, role, QString::fromStdString(secrets::digest(secret)), QDateTime::currentDateTimeUtc()});
    storeTokens();
    emit accessChanged();
    return {QString::fromStdString(secret), {}};
}

bool WebRemoteSettings::revokeToken(const QString& name)
{
    assertMainThread();
    const auto removed = tokens_.removeIf([&](const Token& token) { return token.name == name; });
    if (removed == 0)
        return false;
    storeTokens();
    emit accessChanged();
    return true;
}

QString WebRemoteSettings::viewerKey()
{
    assertMainThread();
    if (viewerKey_.isEmpty())
        return renewViewerKey();
    return viewerKey_;
}

QString WebRemoteSettings::renewViewerKey()
{
    assertMainThread();
    viewerKey_ = QString::fromStdString(secrets::randomToken(18));
    store_.setText(viewerKeyKey, viewerKey_);
    store_.sync();
    emit accessChanged();
    return viewerKey_;
}

std::optional<QString> WebRemoteSettings::setSessionIdleHours(double hours)
{
    assertMainThread();
    if (!std::isfinite(hours) || hours <= 0 || hours > maximumSessionIdleHours)
        return QStringLiteral("sessionIdleHours must be above 0 and at most %1").arg(maximumSessionIdleHours);
    if (hours != sessionIdleHours_) {
        sessionIdleHours_ = hours;
        store_.setText(sessionIdleHoursKey, QString::number(hours));
        store_.sync();
        emit sessionIdleHoursChanged();
    }
    return std::nullopt;
}

std::optional<QString> WebRemoteSettings::setTransportMinInterval(double seconds)
{
    assertMainThread();
    if (!std::isfinite(seconds) || seconds < 0 || seconds > maximumTransportMinInterval)
        return QStringLiteral("transportMinInterval must be from 0 to %1 seconds").arg(maximumTransportMinInterval);
    if (seconds != transportMinInterval_) {
        transportMinInterval_ = seconds;
        store_.setText(transportMinIntervalKey, QString::number(seconds));
        store_.sync();
        emit transportMinIntervalChanged();
    }
    return std::nullopt;
}

void WebRemoteSettings::setInterfaceName(const QString& name)
{
    assertMainThread();
    if (name == interfaceName_)
        return;
    interfaceName_ = name;
    if (name.isEmpty())
        store_.remove(interfaceNameKey);
    else
        store_.setText(interfaceNameKey, name);
    store_.sync();
    emit interfaceNameChanged();
}

std::optional<QString> WebRemoteSettings::setHostNames(const QStringList& names)
{
    assertMainThread();
    QStringList checked;
    for (const QString& name : names) {
        const auto host = normalizedHostName(name);
        if (!host)
            return QStringLiteral("Not a host name: %1").arg(name);
        if (!checked.contains(*host))
            checked.append(*host);
    }
    if (checked != hostNames_) {
        hostNames_ = checked;
        storeList(hostNamesKey, hostNames_);
        emit hostNamesChanged();
    }
    return std::nullopt;
}

QStringList WebRemoteSettings::allLibraryRoots() const
{
    QStringList roots{QFileInfo(SettingsManager::defaultMediaFolder()).path()};
    roots.append(libraryRoots_);
    return roots;
}

std::optional<QString> WebRemoteSettings::addLibraryRoot(const QString& folder)
{
    assertMainThread();
    if (const auto refused = LibraryRoots::refusal(folder, QDir::homePath()))
        return refused;
    const QString clean = QDir::cleanPath(folder);
    if (!libraryRoots_.contains(clean)) {
        libraryRoots_.append(clean);
        storeList(libraryRootsKey, libraryRoots_);
        logLine(("WebRemoteSettings: Library root added: " + clean).toStdString());
        emit libraryRootsChanged();
    }
    return std::nullopt;
}

void WebRemoteSettings::removeLibraryRoot(const QString& folder)
{
    assertMainThread();
    if (libraryRoots_.removeAll(QDir::cleanPath(folder)) == 0)
        return;
    storeList(libraryRootsKey, libraryRoots_);
    emit libraryRootsChanged();
}

void WebRemoteSettings::storeTokens()
{
    QJsonArray array;
    for (const Token& token : tokens_)
        array.append(QJsonObject{{"name", token.name},
                                 {"role", QString::fromLatin1(rawValue(token.role).data(),
                                                              static_cast<qsizetype>(rawValue(token.role).size()))},
                                 {"digest", token.digest},
                                 {"created", token.created.toString(Qt::ISODate)}});
    store_.setText(tokensKey, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
    store_.sync();
}

void WebRemoteSettings::storeList(const QString& key, const QStringList& values)
{
    if (values.isEmpty())
        store_.remove(key);
    else
        store_.setText(
            key, QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(values)).toJson(QJsonDocument::Compact)));
    store_.sync();
}

} // namespace orvelo
