// Protects the operator's window as a whole: the views load without a single QML warning,
// every sidebar entry shows in a dark and a light theme, a few texts follow the services, and
// the first appearance starts the listeners. Set ORVELO_UI_SCREENSHOTS to a folder to keep a
// picture of every entry.
#include "XvfbDisplay.h"

#include "app/OrveloApp.h"
#include "citp/CITPService.h"
#include "core/DMXController.h"
#include "net/SACNService.h"
#include "settings/ThemeManager.h"
#include "settings/WebRemoteSettings.h"
#include "support/DefaultPortsTurn.h"
#include "support/TestSupport.h"
#include "ui/OperatorWindow.h"

#include <QDir>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// Every warning Qt reports while the window lives: QML errors arrive this way too.
class WarningCollector {
public:
    WarningCollector()
    {
        instance = this;
        previous_ = qInstallMessageHandler(&WarningCollector::handle);
    }
    ~WarningCollector()
    {
        qInstallMessageHandler(previous_);
        instance = nullptr;
    }
    QStringList take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(messages_, {});
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (instance && type != QtDebugMsg && type != QtInfoMsg) {
            std::lock_guard lock(instance->mutex_);
            instance->messages_ << message;
        }
        if (instance && instance->previous_)
            instance->previous_(type, context, message);
    }
    static inline WarningCollector* instance = nullptr;
    QtMessageHandler previous_ = nullptr;
    std::mutex mutex_;
    QStringList messages_;
};

QString textOf(QObject* root, const char* name)
{
    QObject* item = root->findChild<QObject*>(name);
    return item ? item->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
}

} // namespace

TEST(OperatorWindow, EveryEntryShowsInDarkAndLightThemesWithoutWarnings)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    ORVELO_REQUIRE_DISPLAY();
    // Xvfb offers only Mesa's software GL, whose render thread crawls under the sanitizers:
    // Qt Quick's own software renderer on the main thread draws the same scene.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    WarningCollector warnings;
    DefaultPortsTurn turn;
    OrveloApp app;
    EXPECT_FALSE(app.sACNService().isListening());
    EXPECT_FALSE(app.citpService().isListening());

    // Two entries for the playlist to list (their durations stay unknown: they are no media).
    const QString folder = QString::fromStdString(tempDir());
    QList<QUrl> files;
    for (const QString name : {"Opening Titles.mov", "Interlude.wav"}) {
        QFile file(QDir(folder).filePath(name));
        file.open(QIODevice::WriteOnly);
        files << QUrl::fromLocalFile(file.fileName());
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
    EXPECT_EQ(quick->size(), QSize(1280, 800));

    QObject* content = quick->findChild<QObject*>("contentView");
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->property("selection").toString(), "player");

    // With nothing loaded and DMX driving playback.
    EXPECT_EQ(textOf(quick, "trackTitle"), "No Track Loaded");
    EXPECT_EQ(textOf(quick, "timecode"), "00:00:00:00");
    EXPECT_EQ(textOf(quick, "playbackState"), "STOPPED");
    EXPECT_EQ(textOf(quick, "loopBadge"), "[1x]");
    QObject* loopAll = quick->findChild<QObject*>("loopAllButton");
    ASSERT_NE(loopAll, nullptr);
    EXPECT_FALSE(loopAll->property("enabled").toBool());
    EXPECT_EQ(loopAll->property("helpText").toString(), "Disable DMX to enable Playlist Loop");
    QObject* autoPlay = quick->findChild<QObject*>("autoButton");
    ASSERT_NE(autoPlay, nullptr);
    EXPECT_EQ(autoPlay->property("helpText").toString(), "Disable DMX to enable auto-play");
    EXPECT_EQ(textOf(quick, "citpState"), "Listening");
    EXPECT_EQ(textOf(quick, "channelsUsed"), "1");

    const QString shots = qEnvironmentVariable("ORVELO_UI_SCREENSHOTS");
    if (!shots.isEmpty())
        QDir().mkpath(shots);
    const QStringList tags{"player", "playlist", "settings", "dmx-info", "video-output", "about", "citp-explorer"};
    for (const QString theme : {"onyx_dark", "daylight"}) {
        app.themeManager().setTheme(theme);
        for (const QString& tag : tags) {
            content->setProperty("selection", tag);
            spinFor(250ms);
            const QImage shot = quick->grabWindow();
            ASSERT_FALSE(shot.isNull()) << tag.toStdString();
            EXPECT_EQ(shot.size(), QSize(1280, 800) * quick->devicePixelRatio());
            // The theme's background shows in the content area's lower right corner.
            const QColor corner = shot.pixelColor(shot.width() - 4, shot.height() - 4);
            EXPECT_EQ(corner.lightness() > 128, theme == "daylight") << tag.toStdString();
            if (!shots.isEmpty())
                shot.save(QDir(shots).filePath(theme + "-" + tag + ".png"));
        }
    }
    // The web remote warns while anyone on the network may control the player.
    content->setProperty("selection", "settings");
    spinFor(250ms);
    QObject* openDoor = quick->findChild<QObject*>("openDoorWarning");
    ASSERT_NE(openDoor, nullptr);
    EXPECT_TRUE(openDoor->property("visible").toBool());
    ASSERT_EQ(WebRemoteSettings::shared().setPassword("stage door"), std::nullopt);
    spinFor(100ms);
    EXPECT_FALSE(openDoor->property("visible").toBool());
    EXPECT_EQ(textOf(quick, "passwordState"), "Password set: phones log in first");
    if (!shots.isEmpty()) {
        QObject* scroll = quick->findChild<QObject*>("settingsScroll");
        auto* flickable = scroll ? scroll->property("contentItem").value<QObject*>() : nullptr;
        if (flickable)
            flickable->setProperty("contentY", flickable->property("contentHeight").toDouble() - 700);
        spinFor(250ms);
        quick->grabWindow().save(QDir(shots).filePath("daylight-settings-access.png"));
    }

    // The CITP traffic monitor opens from the player's CITP lamp.
    content->setProperty("showCITPDebug", true);
    spinFor(250ms);
    if (!shots.isEmpty())
        quick->grabWindow().save(QDir(shots).filePath("daylight-citp-monitor.png"));
    content->setProperty("showCITPDebug", false);

    const QStringList seen = warnings.take();
    EXPECT_TRUE(seen.isEmpty()) << seen.join("\n").toStdString();
}
