#include "ui/WebAccessViewModel.h"

#include "net/NetworkManager.h"
#include "platform/MainThread.h"
#include "platform/Secrets.h"
#include "settings/WebRemoteSettings.h"

#include <QPointer>

#include <thread>

namespace orvelo {

WebAccessViewModel::WebAccessViewModel(WebRemoteSettings& settings, QString baseURL, QObject* parent)
    : QObject(parent), settings_(settings), baseURL_(std::move(baseURL)),
      interfaces_(NetworkManager::getAvailableInterfaces())
{
    for (const auto signal : {&WebRemoteSettings::accessChanged, &WebRemoteSettings::libraryRootsChanged,
                              &WebRemoteSettings::interfaceNameChanged, &WebRemoteSettings::transportMinIntervalChanged,
                              &WebRemoteSettings::sessionIdleHoursChanged})
        connect(&settings_, signal, this, &WebAccessViewModel::changed);
}

bool WebAccessViewModel::passwordSet() const
{
    return settings_.passwordSet();
}

void WebAccessViewModel::setPassword(const QString& password, const QString& confirmation)
{
    assertMainThread();
    if (busy_)
        return;
    if (password != confirmation)
        return report(QStringLiteral("The two passwords differ"));
    if (password.isEmpty())
        return removePassword();
    busy_ = true;
    newToken_.clear();
    emit changed();
    // The hash is memory-hard on purpose: off the main thread, which runs the show.
    std::thread([self = QPointer<WebAccessViewModel>(this), password = password.toStdString()] {
        const auto hash = secrets::hashPassword(password);
        postToMain(self.data(), [self, hash] {
            self->busy_ = false;
            if (!hash)
                return self->report(QStringLiteral("The password could not be hashed"));
            const auto refusal = self->settings_.setPasswordHash(QString::fromStdString(*hash));
            self->report(refusal.value_or(QStringLiteral("Password set: phones log in again")));
        });
    }).detach();
}

void WebAccessViewModel::removePassword()
{
    assertMainThread();
    const auto refusal = settings_.setPasswordHash({});
    report(refusal.value_or(openDoorText));
}

QString WebAccessViewModel::viewerLink() const
{
    return baseURL_ + QStringLiteral("/login.html#viewer=") + settings_.viewerKey();
}

void WebAccessViewModel::renewViewerLink()
{
    assertMainThread();
    settings_.renewViewerKey();
    report(QStringLiteral("New viewer link: the old one no longer works"));
}

QStringList WebAccessViewModel::tokens() const
{
    QStringList rows;
    for (const WebRemoteSettings::Token& token : settings_.tokens())
        rows.append(QStringLiteral("%1 (%2)").arg(token.name, QString::fromUtf8(rawValue(token.role))));
    return rows;
}

void WebAccessViewModel::createToken(const QString& name, bool viewerOnly)
{
    assertMainThread();
    const auto made = settings_.createToken(name.trimmed(), viewerOnly ? AccessRole::view : AccessRole::operate);
    if (!made.secret)
        return report(made.refusal);
    report(QStringLiteral("Copy the token now: it is shown only once"));
    newToken_ = *made.secret;
    emit changed();
}

void WebAccessViewModel::revokeToken(int index)
{
    assertMainThread();
    const auto& tokens = settings_.tokens();
    if (index >= 0 && index < tokens.size())
        settings_.revokeToken(tokens[index].name);
}

QStringList WebAccessViewModel::libraryRoots() const
{
    return settings_.allLibraryRoots();
}

void WebAccessViewModel::addLibraryRoot(const QUrl& folder)
{
    assertMainThread();
    const auto refusal = settings_.addLibraryRoot(folder.isLocalFile() ? folder.toLocalFile() : folder.toString());
    report(refusal.value_or(QString()));
}

void WebAccessViewModel::removeLibraryRoot(int index)
{
    assertMainThread();
    // The first root is the default media folder's parent and always stays.
    const QStringList own = settings_.libraryRoots();
    if (index >= 1 && index <= own.size())
        settings_.removeLibraryRoot(own[index - 1]);
}

QStringList WebAccessViewModel::interfaceNames() const
{
    QStringList names{QStringLiteral("All interfaces")};
    for (const NetworkInterface& interface : interfaces_)
        names.append(QString::fromStdString(interface.name + " (" + interface.ipAddress + ")"));
    return names;
}

int WebAccessViewModel::interfaceIndex() const
{
    for (std::size_t i = 0; i < interfaces_.size(); ++i)
        if (QString::fromStdString(interfaces_[i].name) == settings_.interfaceName())
            return static_cast<int>(i) + 1;
    return 0;
}

void WebAccessViewModel::setInterfaceIndex(int index)
{
    assertMainThread();
    if (index <= 0 || index > static_cast<int>(interfaces_.size()))
        settings_.setInterfaceName({});
    else
        settings_.setInterfaceName(QString::fromStdString(interfaces_[static_cast<std::size_t>(index) - 1].name));
}

double WebAccessViewModel::transportMinInterval() const
{
    return settings_.transportMinInterval();
}

void WebAccessViewModel::setTransportMinInterval(double seconds)
{
    assertMainThread();
    report(settings_.setTransportMinInterval(seconds).value_or(QString()));
}

double WebAccessViewModel::sessionIdleHours() const
{
    return settings_.sessionIdleHours();
}

void WebAccessViewModel::setSessionIdleHours(double hours)
{
    assertMainThread();
    report(settings_.setSessionIdleHours(hours).value_or(QString()));
}

void WebAccessViewModel::report(const QString& message)
{
    message_ = message;
    emit changed();
}

} // namespace orvelo
