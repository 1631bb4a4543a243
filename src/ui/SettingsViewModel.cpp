#include "ui/SettingsViewModel.h"

#include "platform/MainThread.h"

#include "core/DMXController.h"
#include "ndi/NDIService.h"
#include "net/NetworkManager.h"
#include "net/ProtocolManager.h"
#include "playback/PlaybackEngine.h"
#include "settings/SettingsManager.h"
#include "settings/SystemSleepManager.h"
#include "ui/AppServices.h"
#include "ui/WebRemoteAddresses.h"
#include "web/WebServer.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

namespace orvelo {

namespace {

template <typename Range> int indexIn(const Range& all, typename Range::value_type value)
{
    const auto found = std::find(all.begin(), all.end(), value);
    return found == all.end() ? 0 : static_cast<int>(found - all.begin());
}

template <typename Range> bool validIndex(const Range& all, int index)
{
    return index >= 0 && index < static_cast<int>(all.size());
}

} // namespace

SettingsViewModel::SettingsViewModel(const AppServices& app, QObject* parent) : QObject(parent), app_(app)
{
    auto& controller = app_.controller;
    auto& settings = SettingsManager::shared();
    auto& protocols = app_.protocolManager;
    connect(&controller, &DMXController::dmxConfigChanged, this, &SettingsViewModel::changed);
    connect(&protocols, &ProtocolManager::inputProtocolChanged, this, &SettingsViewModel::changed);
    connect(&protocols, &ProtocolManager::outputProtocolChanged, this, &SettingsViewModel::changed);
    connect(&settings, &SettingsManager::defaultVideoURLChanged, this, &SettingsViewModel::changed);
    connect(&settings, &SettingsManager::showDefaultVideoInPlayerChanged, this, &SettingsViewModel::changed);
    connect(&settings, &SettingsManager::mediaFolderChanged, this, &SettingsViewModel::changed);
    connect(&settings, &SettingsManager::selectedInterfaceIPChanged, this, &SettingsViewModel::interfacesChanged);
    connect(&SystemSleepManager::shared(), &SystemSleepManager::preventSleepChanged, this, &SettingsViewModel::changed);
    connect(&app_.webServer, &WebServer::isRunningChanged, this, &SettingsViewModel::changed);
    connect(&app_.webServer, &WebServer::serverURLChanged, this, &SettingsViewModel::changed);
    connect(&app_.ndiService, &NDIService::isBroadcastingChanged, this, &SettingsViewModel::changed);
    connect(&app_.ndiService, &NDIService::fpsChanged, this, &SettingsViewModel::changed);
    connect(&app_.ndiService, &NDIService::resolutionScaleChanged, this, &SettingsViewModel::changed);
    refreshInterfaces();
}

QStringList SettingsViewModel::protocolNames() const
{
    QStringList names;
    for (const auto type : allDMXProtocolTypes)
        names << QString::fromUtf8(rawValue(type).data());
    return names;
}

int SettingsViewModel::inputProtocol() const
{
    return indexIn(allDMXProtocolTypes, app_.protocolManager.inputProtocol());
}

void SettingsViewModel::setInputProtocol(int index)
{
    assertMainThread();
    if (!validIndex(allDMXProtocolTypes, index))
        return;
    app_.protocolManager.setInputProtocol(allDMXProtocolTypes[index]);
    app_.protocolManager.updateServices();
}

int SettingsViewModel::outputProtocol() const
{
    return indexIn(allDMXProtocolTypes, app_.protocolManager.outputProtocol());
}

void SettingsViewModel::setOutputProtocol(int index)
{
    assertMainThread();
    if (!validIndex(allDMXProtocolTypes, index))
        return;
    app_.protocolManager.setOutputProtocol(allDMXProtocolTypes[index]);
    app_.protocolManager.updateServices();
}

template <typename Edit> void SettingsViewModel::editConfig(Edit edit)
{
    DMXConfig config = app_.controller.dmxConfig();
    edit(config);
    app_.controller.setDmxConfig(config);
}

int SettingsViewModel::universe() const
{
    return static_cast<int>(app_.controller.dmxConfig().universe);
}
void SettingsViewModel::setUniverse(int value)
{
    assertMainThread();
    editConfig([value](DMXConfig& c) { c.universe = std::clamp(value, 0, 15); });
}
int SettingsViewModel::subnet() const
{
    return static_cast<int>(app_.controller.dmxConfig().subnet);
}
void SettingsViewModel::setSubnet(int value)
{
    assertMainThread();
    editConfig([value](DMXConfig& c) { c.subnet = std::clamp(value, 0, 15); });
}
int SettingsViewModel::startChannel() const
{
    return static_cast<int>(app_.controller.dmxConfig().startChannel);
}
void SettingsViewModel::setStartChannel(int value)
{
    assertMainThread();
    editConfig([value](DMXConfig& c) { c.startChannel = std::clamp(value, 1, 512); });
}

QStringList SettingsViewModel::modeNames() const
{
    QStringList names;
    for (const auto mode : allDMXModes)
        names << QString::fromUtf8(rawValue(mode).data());
    return names;
}
int SettingsViewModel::mode() const
{
    return indexIn(allDMXModes, app_.controller.dmxConfig().mode);
}
void SettingsViewModel::setMode(int index)
{
    assertMainThread();
    if (validIndex(allDMXModes, index))
        editConfig([index](DMXConfig& c) { c.mode = allDMXModes[index]; });
}

QStringList SettingsViewModel::frameRateNames() const
{
    QStringList names;
    for (const auto rate : allTimecodeFrameRates)
        names << QStringLiteral("%1 fps").arg(rawValue(rate));
    return names;
}
int SettingsViewModel::frameRate() const
{
    return indexIn(allTimecodeFrameRates, app_.controller.dmxConfig().frameRate);
}
void SettingsViewModel::setFrameRate(int index)
{
    assertMainThread();
    if (validIndex(allTimecodeFrameRates, index))
        editConfig([index](DMXConfig& c) { c.frameRate = allTimecodeFrameRates[index]; });
}

QString SettingsViewModel::channelsUsed() const
{
    const auto& config = app_.controller.dmxConfig();
    const auto first = config.startChannel;
    const auto last = first + channelCount(config.mode) - 1;
    return first == last ? QString::number(first) : QStringLiteral("%1 - %2").arg(first).arg(last);
}

bool SettingsViewModel::hasDefaultVideo() const
{
    return SettingsManager::shared().defaultVideoURL().has_value();
}
QString SettingsViewModel::defaultVideoName() const
{
    const auto& url = SettingsManager::shared().defaultVideoURL();
    return url ? url->fileName() : QString();
}
bool SettingsViewModel::showDefaultVideoInPlayer() const
{
    return SettingsManager::shared().showDefaultVideoInPlayer();
}
void SettingsViewModel::setShowDefaultVideoInPlayer(bool show)
{
    SettingsManager::shared().setShowDefaultVideoInPlayer(show);
}
void SettingsViewModel::selectDefaultVideo(const QUrl& file)
{
    assertMainThread();
    if (file.isLocalFile())
        SettingsManager::shared().selectDefaultVideo(file);
}
void SettingsViewModel::removeDefaultVideo()
{
    SettingsManager::shared().clearDefaultVideo();
}

bool SettingsViewModel::preventSleep() const
{
    return SystemSleepManager::shared().preventSleep();
}
void SettingsViewModel::setPreventSleep(bool prevent)
{
    SystemSleepManager::shared().setPreventSleep(prevent);
}

bool SettingsViewModel::webRunning() const
{
    return app_.webServer.isRunning();
}
QString SettingsViewModel::webURL() const
{
    return app_.webServer.serverURL();
}
QStringList SettingsViewModel::accessibleURLs() const
{
    return orvelo::accessibleURLs(interfaces_);
}
void SettingsViewModel::copyToClipboard(const QString& text)
{
    assertMainThread();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

bool SettingsViewModel::ndiEnabled() const
{
    return app_.ndiService.isBroadcasting();
}
void SettingsViewModel::setNdiEnabled(bool enabled)
{
    assertMainThread();
    if (enabled)
        app_.ndiService.startBroadcasting(app_.playbackEngine.player());
    else
        app_.ndiService.stopBroadcasting();
}
QStringList SettingsViewModel::ndiFpsNames() const
{
    QStringList names;
    for (const auto fps : allNDIFPS)
        names << QString::fromStdString(label(fps));
    return names;
}
int SettingsViewModel::ndiFps() const
{
    return indexIn(allNDIFPS, app_.ndiService.fps());
}
void SettingsViewModel::setNdiFps(int index)
{
    assertMainThread();
    if (validIndex(allNDIFPS, index))
        app_.ndiService.setFps(allNDIFPS[index]);
}
QStringList SettingsViewModel::ndiScaleNames() const
{
    QStringList names;
    for (const auto scale : allNDIResolutionScales)
        names << QString::fromStdString(label(scale));
    return names;
}
int SettingsViewModel::ndiScale() const
{
    return indexIn(allNDIResolutionScales, app_.ndiService.resolutionScale());
}
void SettingsViewModel::setNdiScale(int index)
{
    assertMainThread();
    if (validIndex(allNDIResolutionScales, index))
        app_.ndiService.setResolutionScale(allNDIResolutionScales[index]);
}

QStringList SettingsViewModel::interfaceNames() const
{
    QStringList names{QStringLiteral("Auto / Default")};
    for (const auto& interface : interfaces_)
        names << QStringLiteral("%1 (%2)").arg(QString::fromStdString(interface.name),
                                               QString::fromStdString(interface.ipAddress));
    return names;
}

int SettingsViewModel::interfaceIndex() const
{
    const auto& chosen = SettingsManager::shared().selectedInterfaceIP();
    if (!chosen)
        return 0;
    for (std::size_t i = 0; i < interfaces_.size(); ++i)
        if (QString::fromStdString(interfaces_[i].ipAddress) == *chosen)
            return static_cast<int>(i) + 1;
    return 0;
}

void SettingsViewModel::setInterfaceIndex(int index)
{
    assertMainThread();
    auto& settings = SettingsManager::shared();
    if (index <= 0 || index > static_cast<int>(interfaces_.size())) {
        settings.setSelectedInterfaceIP(std::nullopt);
        settings.setSelectedInterfaceBroadcast(std::nullopt);
    } else {
        const auto& chosen = interfaces_[static_cast<std::size_t>(index) - 1];
        settings.setSelectedInterfaceIP(QString::fromStdString(chosen.ipAddress));
        settings.setSelectedInterfaceBroadcast(chosen.broadcastAddress.empty()
                                                   ? std::nullopt
                                                   : std::optional(QString::fromStdString(chosen.broadcastAddress)));
    }
    app_.protocolManager.updateServices();
    emit interfacesChanged();
}

void SettingsViewModel::refreshInterfaces()
{
    assertMainThread();
    interfaces_ = NetworkManager::getAvailableInterfaces();
    emit interfacesChanged();
}

void SettingsViewModel::restartNetwork()
{
    assertMainThread();
    refreshInterfaces();
    app_.protocolManager.updateServices();
}

QString SettingsViewModel::mediaFolder() const
{
    return SettingsManager::shared().mediaFolder();
}
void SettingsViewModel::setMediaFolder(const QString& path)
{
    SettingsManager::shared().setMediaFolder(path);
}

} // namespace orvelo
