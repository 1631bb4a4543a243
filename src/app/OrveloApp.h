#pragma once

#include "app/CommandLine.h"
#include "net/NetworkInterface.h"
#include "ui/AppServices.h"

#include <QObject>

#include <memory>

namespace orvelo {

class ArtNetService;
class CITPService;
class DMXController;
class LightingNetwork;
class PlaybackEngine;
class NDIService;
class ProtocolManager;
class SACNService;
class ThemeManager;
class LtcSender;
class SyncGroup;
class TimecodeFollower;
class WebServer;

// The application object: creates the long-lived services once, in a fixed order, wires them
// to each other and holds them for the whole run. There is no shutdown step: what must
// survive a restart was stored when it changed.
class OrveloApp : public QObject {
    Q_OBJECT
public:
    explicit OrveloApp(const CommandLine::Overrides& overrides = {}, QObject* parent = nullptr);
    // The interface a `--lighting-interface` names (its name, or one of its IPv4 addresses);
    // an address is taken as it is, since its interface may come up later.
    static std::optional<NetworkInterface> lightingInterfaceNamed(const QString& text);
    ~OrveloApp() override;

    // What the main window's first appearance does; a headless start calls it at once.
    void startListeners();

    ArtNetService& artNetService() const { return *artNetService_; }
    SACNService& sACNService() const { return *sACNService_; }
    CITPService& citpService() const { return *citpService_; }
    ProtocolManager& protocolManager() const { return *protocolManager_; }
    PlaybackEngine& playbackEngine() const { return *playbackEngine_; }
    DMXController& controller() const { return *controller_; }
    TimecodeFollower& timecodeFollower() const { return *timecodeFollower_; }
    LtcSender& ltcSender() const { return *ltcSender_; }
    ThemeManager& themeManager() const { return *themeManager_; }
    WebServer& webServer() const { return *webServer_; }
    NDIService& ndiService() const { return *ndiService_; }

    // The services as the operator's window borrows them.
    AppServices services();

    // Registers the seven-segment timecode font for this process, when it ships beside the
    // program.
    static void registerFonts();

private:
    // First, so that it outlives every service that asks it where to send.
    std::unique_ptr<LightingNetwork> lightingNetwork_;
    std::unique_ptr<ArtNetService> artNetService_;
    std::unique_ptr<SACNService> sACNService_;
    std::unique_ptr<CITPService> citpService_;
    std::unique_ptr<ProtocolManager> protocolManager_;
    std::unique_ptr<PlaybackEngine> playbackEngine_;
    std::unique_ptr<DMXController> controller_;
    std::unique_ptr<TimecodeFollower> timecodeFollower_;
    std::unique_ptr<LtcSender> ltcSender_;
    std::unique_ptr<SyncGroup> syncGroup_;
    std::unique_ptr<ThemeManager> themeManager_;
    std::unique_ptr<WebServer> webServer_;
    std::unique_ptr<NDIService> ndiService_;
};

} // namespace orvelo
