// The operator's window as a whole: no QML warning, every sidebar entry in a dark and a light
// theme, texts that follow the services. ORVELO_UI_SCREENSHOTS names a folder for pictures of each.
#include "XvfbDisplay.h"

#include "app/OrveloApp.h"
#include "citp/CITPService.h"
#include "core/DMXController.h"
#include "net/SACNService.h"
#include "settings/ThemeManager.h"
#include "settings/TimecodeSettings.h"
#include "settings/WebRemoteSettings.h"
#include "support/DefaultPortsTurn.h"
#include "support/TestSupport.h"
#include "ui/OperatorWindow.h"

#include <QDir>
#include <QFile>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <gtest/gtest.h>

#include <mutex>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// Every warning Qt reports while the window lives: QML errors arrive this way too.
std::mutex warningsMutex;
QStringList warnings;
QtMessageHandler previousHandler = nullptr;

void collectWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg) {
        std::lock_guard lock(warningsMutex);
        warnings << message;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

QObject* find(QObject* root, const char* name)
{
    QObject* item = root->findChild<QObject*>(name);
    EXPECT_NE(item, nullptr) << name;
    return item ? item : root;
}

const auto textOf = [](QObject* root, const char* name) { return find(root, name)->property("text").toString(); };

} // namespace

TEST(OperatorWindow, EveryEntryShowsInDarkAndLightThemesWithoutWarnings)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    ORVELO_REQUIRE_DISPLAY();
    // Xvfb offers only Mesa's software GL, whose render thread crawls under the sanitizers:
    // Qt Quick's own software renderer on the main thread draws the same scene.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    previousHandler = qInstallMessageHandler(&collectWarning);
    DefaultPortsTurn turn;
    OrveloApp app;
    EXPECT_FALSE(app.sACNService().isListening());
    EXPECT_FALSE(app.citpService().isListening());

    // Two entries for the playlist to list (their durations stay unknown: they are no media).
    const QString folder = QString::fromStdString(tempDir());
    QList<QUrl> files;
    for (const QString name : {"Opening Titles.mov", "Interlude.wav"}) {
        QFile(QDir(folder).filePath(name)).open(QIODevice::WriteOnly);
        files << QUrl::fromLocalFile(QDir(folder).filePath(name));
    }
    app.controller().playlist().setPlaylist({});
    app.controller().playlist().addTracks(files);

    OperatorWindow window(app.services());
    ASSERT_TRUE(window.show());
    QQuickWindow* quick = window.window();
    ASSERT_NE(quick, nullptr);
    ASSERT_TRUE(waitUntil([&] { return quick->isExposed(); }, 10s));
    // The first appearance started the listeners.
    EXPECT_TRUE(waitUntil([&] { return app.sACNService().isListening() && app.citpService().isListening(); }, 5s));
    QObject* content = find(quick, "contentView");
    EXPECT_EQ(content->property("selection").toString(), "player");

    // With nothing loaded and DMX driving playback.
    for (const auto& [name, text] : {std::pair{"trackTitle", "No Track Loaded"},
                                     {"timecode", "00:00:00:00"},
                                     {"playbackState", "STOPPED"},
                                     {"loopBadge", "[1x]"},
                                     {"citpState", "Listening"},
                                     {"channelsUsed", "1"}})
        EXPECT_EQ(textOf(quick, name), text);
    EXPECT_EQ(find(quick, "loopAllButton")->property("helpText").toString(), "Disable DMX to enable Playlist Loop");
    EXPECT_EQ(find(quick, "autoButton")->property("helpText").toString(), "Disable DMX to enable auto-play");

    const QString shots = qEnvironmentVariable("ORVELO_UI_SCREENSHOTS");
    const auto keep = [&](const QImage& shot, const QString& name) {
        if (!shots.isEmpty() && QDir().mkpath(shots))
            shot.save(QDir(shots).filePath(name + ".png"));
    };
    const QStringList tags{"player", "playlist", "settings", "dmx-info", "video-output", "about", "citp-explorer"};
    for (const QString theme : {"onyx_dark", "daylight"}) {
        app.themeManager().setTheme(theme);
        for (const QString& tag : tags) {
            content->setProperty("selection", tag);
            // The theme's background shows in the content area's lower right corner.
            QImage shot;
            const auto themed = [&] {
                shot = quick->grabWindow();
                if (shot.isNull())
                    return false;
                return (shot.pixelColor(shot.width() - 4, shot.height() - 4).lightness() > 128) ==
                       (theme == "daylight");
            };
            EXPECT_TRUE(waitUntil(themed, 5s)) << tag.toStdString();
            keep(shot, theme + "-" + tag);
        }
    }
    // The web remote warns while anyone on the network may control the player.
    content->setProperty("selection", "settings");
    QObject* openDoor = find(quick, "openDoorWarning");
    EXPECT_TRUE(openDoor->property("visible").toBool());
    ASSERT_EQ(WebRemoteSettings::shared().setPassword("stage door"), std::nullopt);
    EXPECT_TRUE(waitUntil([&] { return !openDoor->property("visible").toBool(); }));
    EXPECT_EQ(textOf(quick, "passwordState"), "Password set: phones log in first");
    if (!shots.isEmpty()) {
        auto* flickable = find(quick, "settingsScroll")->property("contentItem").value<QObject*>();
        if (flickable)
            flickable->setProperty("contentY", flickable->property("contentHeight").toDouble() - 700);
        keep(quick->grabWindow(), "daylight-settings-access");
    }

    // The timecode source follows the stored setting.
    QObject* source = find(quick, "timecodeSource");
    EXPECT_EQ(source->property("currentIndex").toInt(), 0);
    TimecodeSettings::shared().setSource(TimecodeSettings::Source::artNet);
    EXPECT_TRUE(waitUntil([&] { return source->property("currentIndex").toInt() == 1; }));
    if (!shots.isEmpty()) {
        auto* flickable = find(quick, "settingsScroll")->property("contentItem").value<QObject*>();
        if (flickable)
            flickable->setProperty("contentY", 600);
        keep(quick->grabWindow(), "daylight-settings-timecode");
    }
    TimecodeSettings::shared().setSource(TimecodeSettings::Source::console);

    // The CITP traffic monitor opens from the player's CITP lamp.
    content->setProperty("showCITPDebug", true);
    EXPECT_TRUE(waitUntil([&] { return find(quick, "citpDebugger")->property("opened").toBool(); }));
    keep(quick->grabWindow(), "daylight-citp-monitor");
    content->setProperty("showCITPDebug", false);

    qInstallMessageHandler(previousHandler);
    std::lock_guard lock(warningsMutex);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}
