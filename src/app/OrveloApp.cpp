#include "app/OrveloApp.h"

#include "app/ControllerCITPSource.h"
#include "app/RdmBinding.h"
#include "citp/CITPService.h"
#include "core/DMXController.h"
#include "core/LtcSender.h"
#include "core/SyncGroup.h"
#include "core/TimecodeFollower.h"
#include "ndi/NDIService.h"
#include "net/ArtNetService.h"
#include "net/LightingNetwork.h"
#include "net/NetworkManager.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"
#include "platform/Log.h"
#include "playback/IdentifyPicture.h"
#include "playback/PlaybackEngine.h"
#include "settings/SettingsManager.h"
#include "settings/SyncSettings.h"
#include "settings/ThemeManager.h"
#include "settings/TimecodeSettings.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>

#include <arpa/inet.h>

namespace orvelo {

std::optional<NetworkInterface> OrveloApp::lightingInterfaceNamed(const QString& text)
{
    const std::string name = text.trimmed().toStdString();
    in_addr address{};
    if (::inet_pton(AF_INET, name.c_str(), &address) == 1) {
        NetworkInterface chosen;
        chosen.ipAddress = name;
        return chosen;
    }
    for (const NetworkInterface& candidate : NetworkManager::getAvailableInterfaces())
        if (candidate.name == name)
            return candidate;
    return std::nullopt;
}

OrveloApp::OrveloApp(const CommandLine::Overrides& overrides, QObject* parent) : QObject(parent)
{
    auto& settings = SettingsManager::shared();
    if (overrides.mediaFolder)
        settings.useMediaFolderForThisRun(*overrides.mediaFolder);
    lightingNetwork_ = std::make_unique<LightingNetwork>();
    const auto chooseLightingInterface = [this, &settings] {
        const auto text = [](const std::optional<QString>& value) -> std::optional<std::string> {
            if (!value)
                return std::nullopt;
            return value->trimmed().toStdString();
        };
        lightingNetwork_->choose(text(settings.selectedInterfaceIP()), text(settings.selectedInterfaceBroadcast()));
    };
    // One given on the command line holds until the operator chooses another.
    const auto given =
        overrides.lightingInterface ? lightingInterfaceNamed(*overrides.lightingInterface) : std::nullopt;
    if (given)
        lightingNetwork_->choose(given->ipAddress, given->broadcastAddress.empty()
                                                       ? std::nullopt
                                                       : std::optional<std::string>(given->broadcastAddress));
    else
        chooseLightingInterface();
    connect(&settings, &SettingsManager::selectedInterfaceIPChanged, this, chooseLightingInterface);
    connect(&settings, &SettingsManager::selectedInterfaceBroadcastChanged, this, chooseLightingInterface);

    ArtNetService::Options artNetOptions;
    artNetOptions.lighting = lightingNetwork_.get();
    artNetService_ = std::make_unique<ArtNetService>(std::move(artNetOptions));
    SACNService::Options sACNOptions;
    sACNOptions.lighting = lightingNetwork_.get();
    sACNService_ = std::make_unique<SACNService>(std::move(sACNOptions));

    CITPService::Options citpOptions;
    citpOptions.lighting = lightingNetwork_.get();
    citpService_ = std::make_unique<CITPService>(std::move(citpOptions));

    protocolManager_ = std::make_unique<ProtocolManager>(*artNetService_, *sACNService_, *citpService_);
    playbackEngine_ = std::make_unique<PlaybackEngine>();
    // The preloads follow the stored settings from the first playlist on.
    const auto applyPreloadSettings = [engine = playbackEngine_.get()] {
        const auto& settings = SettingsManager::shared();
        engine->preloader().setCount(settings.preloadCount());
        engine->preloader().setBudgetMB(settings.preloadBudgetMB());
    };
    applyPreloadSettings();
    QObject::connect(&SettingsManager::shared(), &SettingsManager::preloadChanged, playbackEngine_.get(),
                     applyPreloadSettings);
    controller_ = std::make_unique<DMXController>(*protocolManager_, *playbackEngine_);
    timecodeFollower_ = std::make_unique<TimecodeFollower>(*controller_, *playbackEngine_, TimecodeSettings::shared());
    connect(artNetService_.get(), &ArtNetService::timecodeReceived, timecodeFollower_.get(),
            &TimecodeFollower::artNetTimecode);
    ltcSender_ = std::make_unique<LtcSender>(*controller_, TimecodeSettings::shared());
    syncGroup_ = std::make_unique<SyncGroup>(*controller_, *playbackEngine_, SyncSettings::shared());
    citpService_->setDataSource(new ControllerCITPSource(*controller_));
    bindRdm(*artNetService_, *controller_, SettingsManager::shared(), IdentifyPicture::shared());
    themeManager_ = std::make_unique<ThemeManager>();
    WebServer::Options webOptions;
    if (overrides.webPort)
        webOptions.port = *overrides.webPort;
    webServer_ = std::make_unique<WebServer>(webOptions);
    ndiService_ = std::make_unique<NDIService>();
    // The remote's NDI settings act on the NDI service.
    webServer_->start(playbackEngine_.get(), controller_.get(), protocolManager_.get(), ndiService_.get(),
                      themeManager_.get());
    webServer_->setTimecodeFollower(timecodeFollower_.get());
    webServer_->setLtcSender(ltcSender_.get());
    webServer_->setSyncGroup(syncGroup_.get());
    SettingsManager::shared().backgroundVideo().bindToPlaybackEngine(*playbackEngine_);
    registerFonts();
}

OrveloApp::~OrveloApp() = default;

void OrveloApp::startListeners()
{
    artNetService_->startListening();
    sACNService_->startListening();
    citpService_->startListening();
}

void OrveloApp::registerFonts()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QStringList candidates{
        programDir.filePath("resources/digital-7.ttf"),
        programDir.filePath("../share/orvelo/resources/digital-7.ttf"),
    };
    QString found;
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path)) {
            found = path;
            break;
        }
    }
    if (found.isEmpty()) {
        logLine("Font file not found in any bundle");
        return;
    }
    if (QFontDatabase::addApplicationFont(found) < 0) {
        logLine("Failed to register font: " + found.toStdString() + " is not a usable font file");
        return;
    }
    logLine("Successfully registered Digital-7 font");
}

AppServices OrveloApp::services()
{
    return {*artNetService_,
            *sACNService_,
            *citpService_,
            *protocolManager_,
            *playbackEngine_,
            *controller_,
            *themeManager_,
            *webServer_,
            *ndiService_,
            *timecodeFollower_,
            *ltcSender_,
            *syncGroup_,
            [this] { startListeners(); }};
}

} // namespace orvelo
