#pragma once

#include <functional>

namespace orvelo {

class ArtNetService;
class CITPService;
class DMXController;
class NDIService;
class PlaybackEngine;
class ProtocolManager;
class SACNService;
class ThemeManager;
class LtcSender;
class SyncGroup;
class TimecodeFollower;
class WebServer;

// The application's long-lived services as the window sees them. The application assembles
// it; the window only borrows, so it never depends on how the services are made.
struct AppServices {
    ArtNetService& artNetService;
    SACNService& sACNService;
    CITPService& citpService;
    ProtocolManager& protocolManager;
    PlaybackEngine& playbackEngine;
    DMXController& controller;
    ThemeManager& themeManager;
    WebServer& webServer;
    NDIService& ndiService;
    TimecodeFollower& timecodeFollower;
    LtcSender& ltcSender;
    SyncGroup& syncGroup;
    std::function<void()> startListeners;
};

} // namespace orvelo
