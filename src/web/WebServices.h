#pragma once

#include "core/DMXController.h"
#include "core/LtcSender.h"
#include "core/SyncGroup.h"
#include "core/TimecodeFollower.h"
#include "ndi/NDIControl.h"
#include "net/ProtocolManager.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"
#include "settings/SyncSettings.h"
#include "settings/ThemeManager.h"
#include "settings/TimecodeSettings.h"
#include "settings/WebRemoteSettings.h"

#include <QPointer>

namespace orvelo {

// What the routes act on. The five services are held weakly: each use checks that its
// service still exists. The settings and effects stores live for the whole process. Read and
// used on the main thread only.
struct WebServices {
    QPointer<PlaybackEngine> playbackEngine;
    QPointer<DMXController> dmxController;
    QPointer<ProtocolManager> protocolManager;
    QPointer<NDIControl> ndiService;
    QPointer<ThemeManager> themeManager;
    QPointer<TimecodeFollower> timecodeFollower = nullptr;
    QPointer<LtcSender> ltcSender = nullptr;
    QPointer<SyncGroup> syncGroup = nullptr;
    SettingsManager* settings = nullptr;
    VideoEffectsManager* effects = nullptr;
    WebRemoteSettings* remote = nullptr;
    TimecodeSettings* timecode = nullptr;
    SyncSettings* sync = nullptr;
};

} // namespace orvelo
