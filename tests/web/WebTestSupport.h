#pragma once

// Shared by the web tests: the services the routes act on, built without network sockets
// (the DMX transports and CITP are the console tests' stand-ins), and an NDI sender that records
// its calls.

#include "core/ConsoleTestSupport.h"
#include "core/DMXController.h"
#include "ndi/NDIControl.h"
#include "net/ProtocolManager.h"
#include "platform/SettingsStore.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"
#include "settings/ThemeManager.h"
#include "settings/WebRemoteSettings.h"
#include "support/TestSupport.h"
#include "web/WebServer.h"
#include "web/WebServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <memory>
#include <string>
#include <vector>

namespace orvelo::test {

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file of a folder, hidden ones (the uploads' temporaries) included.
inline QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

class RecordingNDI : public NDIControl {
public:
    bool isBroadcasting() const override { return broadcasting; }
    double fpsValue() const override { return fps; }
    int resolutionScaleValue() const override { return scale; }
    void startBroadcasting(MediaPlayer*) override { record("start", true); }
    void stopBroadcasting() override { record("stop", false); }
    void record(const char* call, bool on)
    {
        calls.push_back(call);
        broadcasting = on;
    }
    void setFpsValue(double value) override { fps = value; }
    void setResolutionScaleValue(int value) override { scale = value; }

    bool broadcasting = false;
    double fps = 25;
    int scale = 1;
    std::vector<std::string> calls;
};

// Every service of the remote, as the application wires them, on an empty store: the tests of
// one process share its run folder, and nothing one of them saved may reach the next.
struct ServiceRig {
    struct EmptyStore {
        EmptyStore() { QSettings(SettingsStore().fileName(), QSettings::NativeFormat).clear(); }
    } emptyStore;
    FakeDMXService artNet{QStringLiteral("Art-Net")};
    FakeDMXService sacn{QStringLiteral("sACN")};
    NoCITP citp;
    std::unique_ptr<ProtocolManager> protocols = std::make_unique<ProtocolManager>(artNet, sacn, citp);
    std::unique_ptr<PlaybackEngine> engine = std::make_unique<PlaybackEngine>();
    std::unique_ptr<DMXController> controller = std::make_unique<DMXController>(*protocols, *engine);
    std::unique_ptr<ThemeManager> themes = std::make_unique<ThemeManager>();
    std::unique_ptr<RecordingNDI> ndi = std::make_unique<RecordingNDI>();
    SettingsManager settings;
    VideoEffectsManager effects;
    WebRemoteSettings remote;
    TimecodeSettings timecode;

    ServiceRig() { controller->playlist().setPlaylist({}); }

    WebServices services()
    {
        WebServices services;
        services.playbackEngine = engine.get();
        services.dmxController = controller.get();
        services.protocolManager = protocols.get();
        services.ndiService = ndi.get();
        services.themeManager = themes.get();
        services.settings = &settings;
        services.effects = &effects;
        services.remote = &remote;
        services.timecode = &timecode;
        return services;
    }

    // Tracks named as given, on files that need not exist.
    void setTracks(const QStringList& names)
    {
        QList<MediaTrack> tracks;
        for (const QString& name : names)
            tracks.append(MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile("/nonexistent/" + name), name, 0.0, 1});
        controller->playlist().setPlaylist(tracks);
    }
};

// Starts a web server on the services (any may be null) and waits until it listens.
inline std::unique_ptr<WebServer> startWebServer(const WebServer::Options& options, const WebServices& s)
{
    auto server = std::make_unique<WebServer>(options);
    server->start(s.playbackEngine, s.dmxController, s.protocolManager, s.ndiService, s.themeManager);
    EXPECT_TRUE(waitUntil([&] { return server->isRunning(); }));
    return server;
}

} // namespace orvelo::test
