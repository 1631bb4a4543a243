// Protects the persisted settings: start-up from an empty and from a filled store, that each
// setter has reached the disk when it returns, that a restart reads what the last run wrote,
// and that values of the wrong kind neither crash nor get overwritten at start-up.
#include "settings/SettingsManager.h"

#include "platform/FileBookmark.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

// The runner gives each test binary its own settings folder, but runs the tests of one binary
// side by side: each process points the store at a folder of its own before anything opens it.
const QString& privateFolder()
{
    static const QTemporaryDir dir(QString::fromStdString(tempDir()) + "/store-XXXXXX");
    static const QString path = [] {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        return dir.path();
    }();
    return path;
}

QSettings& userStore()
{
    privateFolder();
    static QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvelo", "Orvelo");
    return store;
}

// Reads a copy of the store file, so that nothing cached in this process stands in for what
// reached the disk.
QVariant onDisk(const QString& key)
{
    const QString copy = privateFolder() + "/store-copy.conf";
    QFile::remove(copy);
    if (!QFile::copy(userStore().fileName(), copy))
        return {};
    return QSettings(copy, QSettings::IniFormat).value(key);
}

class SettingsManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { userStore(); }

    void SetUp() override
    {
        userStore().clear();
        userStore().sync();
    }

    void storeRaw(const QString& key, const QVariant& value)
    {
        userStore().setValue(key, value);
        userStore().sync();
    }

    QUrl videoFile(const QString& name)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("video");
        return QUrl::fromLocalFile(dir.filePath(name));
    }

    QTemporaryDir dir{QString::fromStdString(tempDir()) + "/videos-XXXXXX"};
};

} // namespace

TEST_F(SettingsManagerTest, FirstLaunchWritesOnlyTheShowFlag)
{
    LogCapture log;
    SettingsManager settings;
    EXPECT_TRUE(settings.showDefaultVideoInPlayer());
    EXPECT_EQ(settings.selectedInterfaceIP(), std::nullopt);
    EXPECT_EQ(settings.selectedInterfaceBroadcast(), std::nullopt);
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"SettingsManager: No saved default video bookmark found"});

    EXPECT_EQ(onDisk("showDefaultVideoInPlayer").toString(), "true");
    EXPECT_EQ(QSettings(userStore().fileName(), QSettings::IniFormat).allKeys(),
              QStringList{"showDefaultVideoInPlayer"});
}

TEST_F(SettingsManagerTest, PatternSettingsSurviveARestart)
{
    {
        SettingsManager firstRun;
        firstRun.setSelectedPattern(AudioVisualPattern::pulsingRing);
        firstRun.setPatternSpeed(2.5);
        firstRun.setPatternSize(3);
        firstRun.setPatternGap(7);
        firstRun.setPatternColor1(Qt::green);
        firstRun.setPatternColor2(Qt::cyan);
        firstRun.setPatternAutoRotate(true);
        firstRun.setPatternRotateInterval(2);
        firstRun.setAudioReactiveEnabled(false);
        // A console sweeping a value writes the store once, not once per frame.
        EXPECT_FALSE(QSettings(userStore().fileName(), QSettings::IniFormat).contains("patternSettings"));
    }
    SettingsManager nextRun;
    EXPECT_EQ(nextRun.selectedPattern(), AudioVisualPattern::pulsingRing);
    EXPECT_EQ(nextRun.patternSpeed(), 2.5);
    EXPECT_EQ(nextRun.patternSize(), 3.0);
    EXPECT_EQ(nextRun.patternGap(), 7.0);
    EXPECT_EQ(nextRun.patternColor1(), QColor(Qt::green));
    EXPECT_EQ(nextRun.patternColor2(), QColor(Qt::cyan));
    EXPECT_TRUE(nextRun.patternAutoRotate());
    EXPECT_EQ(nextRun.patternRotateInterval(), 2.0);
    EXPECT_FALSE(nextRun.audioReactiveEnabled());
    nextRun.setPatternGap(9);
    EXPECT_TRUE(waitUntil([] { return QSettings(userStore().fileName(), QSettings::IniFormat)
                                          .value("patternSettings").toString().contains(R"("gap":9)"); }));
}

TEST_F(SettingsManagerTest, EverySetterIsOnDiskWhenItReturns)
{
    SettingsManager settings;
    settings.setShowDefaultVideoInPlayer(false);
    EXPECT_EQ(onDisk("showDefaultVideoInPlayer").toString(), "false");

    settings.setSelectedInterfaceIP(QStringLiteral("not an address"));
    EXPECT_EQ(onDisk("selectedInterfaceIP").toString(), "not an address");
    settings.setSelectedInterfaceBroadcast(QStringLiteral("10.0.0.255"));
    EXPECT_EQ(onDisk("selectedInterfaceBroadcast").toString(), "10.0.0.255");
    settings.setSelectedInterfaceIP(std::nullopt);
    EXPECT_FALSE(onDisk("selectedInterfaceIP").isValid());

    const QUrl video = videoFile("back ground é.mp4");
    settings.setDefaultVideoURL(video);
    EXPECT_EQ(onDisk("defaultVideoURL").toByteArray(), *FileBookmark::create(video));
    settings.clearDefaultVideo();
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_FALSE(onDisk("defaultVideoURL").isValid());
}

TEST_F(SettingsManagerTest, ARestartReadsWhatTheLastRunWrote)
{
    const QUrl video = videoFile("loop.mov");
    {
        SettingsManager firstRun;
        firstRun.setShowDefaultVideoInPlayer(false);
        firstRun.setSelectedInterfaceIP(QStringLiteral("192.168.1.20"));
        firstRun.setSelectedInterfaceBroadcast(QStringLiteral("192.168.1.255"));
        firstRun.setDefaultVideoURL(video);
    }
    LogCapture log;
    SettingsManager nextRun;
    EXPECT_FALSE(nextRun.showDefaultVideoInPlayer());
    EXPECT_EQ(nextRun.selectedInterfaceIP(), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(nextRun.selectedInterfaceBroadcast(), QStringLiteral("192.168.1.255"));
    EXPECT_EQ(nextRun.defaultVideoURL(), video);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "SettingsManager: Found bookmark data, attempting to resolve...",
                               "SettingsManager: Resolved URL: " + video.toLocalFile().toStdString() + ", isStale: false",
                               "SettingsManager: Default video loaded successfully: loop.mov",
                           }));
}

TEST_F(SettingsManagerTest, DeletedBackgroundVideoIsForgottenOnce)
{
    const QUrl video = videoFile("gone.mov");
    SettingsManager(nullptr).setDefaultVideoURL(video);
    QFile::remove(video.toLocalFile());
    {
        LogCapture log;
        SettingsManager nextRun;
        EXPECT_EQ(nextRun.defaultVideoURL(), std::nullopt);
        EXPECT_TRUE(log.contains("SettingsManager: Default video file not found at " +
                                 video.toLocalFile().toStdString() + ", clearing setting"));
        EXPECT_FALSE(onDisk("defaultVideoURL").isValid());
    }
    LogCapture log;
    SettingsManager runAfter;
    EXPECT_EQ(log.lines(), std::vector<std::string>{"SettingsManager: No saved default video bookmark found"});
}

TEST_F(SettingsManagerTest, BookmarkThatCannotBeResolvedIsKept)
{
    storeRaw("defaultVideoURL", QByteArray("relative/video.mov"));
    LogCapture log;
    SettingsManager settings;
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"SettingsManager: Found bookmark data, attempting to resolve...",
                                                     "SettingsManager: Failed to resolve bookmark data"}));
    EXPECT_EQ(onDisk("defaultVideoURL").toByteArray(), QByteArray("relative/video.mov"));
}

TEST_F(SettingsManagerTest, BackgroundVideoThatCannotBeReadIsKept)
{
    QDir(dir.path()).mkdir("a folder.mov");
    const QByteArray bookmark = dir.filePath("a folder.mov").toUtf8();
    storeRaw("defaultVideoURL", bookmark);
    LogCapture log;
    SettingsManager settings;
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_TRUE(log.contains("SettingsManager: Failed to access security scoped resource"));
    EXPECT_EQ(onDisk("defaultVideoURL").toByteArray(), bookmark);
}

TEST_F(SettingsManagerTest, ValuesOfTheWrongKindReadAsDefaultsAndStayStored)
{
    storeRaw("showDefaultVideoInPlayer", QStringLiteral("yes please"));
    storeRaw("selectedInterfaceIP", QByteArray("\x0a\x00\x00\x01", 4));
    storeRaw("selectedInterfaceBroadcast", QStringList{"10.0.0.255", "10.1.0.255"});
    storeRaw("defaultVideoURL", QStringLiteral("/some/path.mov"));
    const QByteArray fileBefore = [] {
        QFile f(userStore().fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    LogCapture log;
    SettingsManager settings;
    EXPECT_TRUE(settings.showDefaultVideoInPlayer());
    EXPECT_EQ(settings.selectedInterfaceIP(), std::nullopt);
    EXPECT_EQ(settings.selectedInterfaceBroadcast(), std::nullopt);
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"SettingsManager: No saved default video bookmark found"});

    QFile after(userStore().fileName());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), fileBefore);

    // Once the operator sets a value it replaces the foreign one.
    settings.setShowDefaultVideoInPlayer(false);
    EXPECT_EQ(onDisk("showDefaultVideoInPlayer").toString(), "false");
}

TEST_F(SettingsManagerTest, EveryAssignmentNotifiesEvenWithoutChange)
{
    SettingsManager settings;
    int notifications = 0;
    QObject::connect(&settings, &SettingsManager::patternSpeedChanged, &settings, [&] { ++notifications; });
    QObject::connect(&settings, &SettingsManager::selectedInterfaceIPChanged, &settings, [&] { ++notifications; });
    settings.setPatternSpeed(1.0);
    settings.setPatternSpeed(1.0);
    settings.setSelectedInterfaceIP(std::nullopt);
    EXPECT_EQ(notifications, 3);
}

TEST_F(SettingsManagerTest, StoreThatCannotBeWrittenIsReportedAndCatchesUpLater)
{
    SettingsManager settings;
    const QString folder = QFileInfo(userStore().fileName()).path();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    LogCapture log;
    settings.setSelectedInterfaceIP(QStringLiteral("10.0.0.7"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"SettingsStore: Failed to write " + userStore().fileName().toStdString()});

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkpath(folder));
    log.clear();
    settings.setSelectedInterfaceBroadcast(QStringLiteral("10.0.0.255"));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(onDisk("selectedInterfaceBroadcast").toString(), "10.0.0.255");
    EXPECT_EQ(onDisk("selectedInterfaceIP").toString(), "10.0.0.7");
}

TEST_F(SettingsManagerTest, MediaLibrarySettingsSurviveARestartAndRefuseNonsense)
{
    {
        SettingsManager firstRun;
        EXPECT_EQ(firstRun.mediaFolder(), SettingsManager::defaultMediaFolder());
        EXPECT_TRUE(firstRun.mediaFolder().endsWith("/Orvelo/Media"));
        EXPECT_TRUE(SettingsManager::playlistsFolder().endsWith("/Orvelo/Playlists"));
        EXPECT_EQ(firstRun.uploadSizeLimit(), 20LL * 1024 * 1024 * 1024);

        firstRun.setMediaFolder(dir.path() + "/show/../library/");
        firstRun.setUploadSizeLimit(5'000'000'000LL);
        firstRun.setUploadSizeLimit(0);
        EXPECT_EQ(firstRun.uploadSizeLimit(), 5'000'000'000LL);
    }
    EXPECT_EQ(onDisk("mediaFolder").toString(), dir.path() + "/library");
    SettingsManager restarted;
    EXPECT_EQ(restarted.mediaFolder(), dir.path() + "/library");
    EXPECT_EQ(restarted.uploadSizeLimit(), 5'000'000'000LL);

    // A relative path could only be resolved against wherever the process was started.
    restarted.setMediaFolder("relative/folder");
    EXPECT_EQ(restarted.mediaFolder(), SettingsManager::defaultMediaFolder());
    EXPECT_FALSE(QSettings(userStore().fileName(), QSettings::IniFormat).contains("mediaFolder"));

    storeRaw("uploadSizeLimit", "lots");
    storeRaw("mediaFolder", "not/absolute");
    SettingsManager afterHandEdit;
    EXPECT_EQ(afterHandEdit.uploadSizeLimit(), SettingsManager::defaultUploadSizeLimit);
    EXPECT_EQ(afterHandEdit.mediaFolder(), SettingsManager::defaultMediaFolder());
}
