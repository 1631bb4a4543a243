// Protects the persisted settings: each setter has reached the disk when it returns, a restart
// reads what the last run wrote, and values of the wrong kind are neither fatal nor overwritten.
#include "settings/SettingsManager.h"

#include "platform/FileBookmark.h"
#include "playback/PatternAutoRotator.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

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

PatternParameters patternsOf(const SettingsManager& s)
{
    return {s.selectedPattern(),   s.patternSpeed(),          s.patternSize(),
            s.patternGap(),        s.patternColor1(),         s.patternColor2(),
            s.patternAutoRotate(), s.patternRotateInterval(), s.audioReactiveEnabled()};
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

    QTemporaryDir dir{QString::fromStdString(tempDir()) + "/videos-XXXXXX"};
};

} // namespace

TEST_F(SettingsManagerTest, PatternSettingsAreWrittenOnceASweepSettlesAndReadBackAtStart)
{
    // As an earlier run wrote them.
    storeRaw("patternSettings", R"({"selected":"Pulsing Ring","speed":2.5,"size":3,"gap":7,"rotateInterval":2,)"
                                R"("autoRotate":true,"audioReactive":false,"color1":"#00ff00","color2":"#00ffff"})");
    {
        SettingsManager settings;
        EXPECT_EQ(patternsOf(settings),
                  (PatternParameters{AudioVisualPattern::pulsingRing, 2.5, 3, 7, Qt::green, Qt::cyan, true, 2, false}));
        int selections = 0;
        QObject::connect(&settings, &SettingsManager::selectedPatternChanged, [&] { ++selections; });
        settings.setPatternSpeed(0.5);
        settings.setPatternSize(12);
        settings.setPatternGap(1);
        settings.setPatternColor1(Qt::red);
        settings.setPatternColor2(Qt::blue);
        settings.setPatternAutoRotate(false);
        settings.setPatternRotateInterval(30);
        settings.setAudioReactiveEnabled(true);
        // The auto-rotation's step is the settings' selection, notified and stored like one.
        rotateToNextPattern(settings.patterns());
        EXPECT_EQ(selections, 1);
        const PatternParameters changed{
            AudioVisualPattern::colorfulAbstract, 0.5, 12, 1, Qt::red, Qt::blue, false, 30, true};
        EXPECT_EQ(patternsOf(settings), changed);
        // A console sweeping a value writes the store once, not once per frame.
        EXPECT_TRUE(onDisk("patternSettings").toString().contains("Pulsing Ring"));
        ASSERT_TRUE(waitUntil([] { return !onDisk("patternSettings").toString().contains("Pulsing Ring"); }));
        EXPECT_EQ(SettingsManager().patterns().parameters(), changed);
        settings.setPatternGap(9);
    }
    EXPECT_EQ(SettingsManager().patternGap(), 9.0) << "a change still waiting is written at the end";
}

TEST_F(SettingsManagerTest, EverySetterIsOnDiskWhenItReturnsAndARestartReadsIt)
{
    // A real video, so that the restart reopens it, under a name that needs encoding.
    const QUrl video = QUrl::fromLocalFile(dir.filePath("back ground é.mp4"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(MediaFiles::countingVideo(20, false)), video.toLocalFile()));
    {
        LogCapture log;
        SettingsManager firstRun;
        // The first launch writes only the show flag.
        EXPECT_TRUE(firstRun.showDefaultVideoInPlayer());
        EXPECT_EQ(log.lines(), std::vector<std::string>{"SettingsManager: No saved default video bookmark found"});
        EXPECT_EQ(QSettings(userStore().fileName(), QSettings::IniFormat).allKeys(),
                  QStringList{"showDefaultVideoInPlayer"});
        firstRun.setShowDefaultVideoInPlayer(false);
        EXPECT_EQ(onDisk("showDefaultVideoInPlayer").toString(), "false");
        firstRun.setSelectedInterfaceIP(QStringLiteral("not an address"));
        EXPECT_EQ(onDisk("selectedInterfaceIP").toString(), "not an address");
        firstRun.setDeviceLabel(QStringLiteral("Stage Left"));
        EXPECT_EQ(onDisk("deviceLabel").toString(), "Stage Left");
        firstRun.setDefaultVideoURL(video);
        EXPECT_EQ(onDisk("defaultVideoURL").toByteArray(), *FileBookmark::create(video));
        EXPECT_EQ(firstRun.backgroundVideo().player(), nullptr) << "the player is left as it is";
    }
    LogCapture log;
    SettingsManager nextRun;
    EXPECT_FALSE(nextRun.showDefaultVideoInPlayer());
    EXPECT_EQ(nextRun.selectedInterfaceIP(), QStringLiteral("not an address"));
    EXPECT_EQ(nextRun.deviceLabel(), QStringLiteral("Stage Left"));
    EXPECT_EQ(nextRun.defaultVideoURL(), video);
    EXPECT_TRUE(log.contains("SettingsManager: Default video loaded successfully: back ground é.mp4"));
    // Reopened, muted and not started.
    MediaPlayer* player = nextRun.backgroundVideo().player();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(waitUntil([&] { return player->currentItem()->status() != MediaItem::Status::loading; }, 10s));
    EXPECT_EQ(std::tuple(player->currentItem()->status(), player->isMuted(), player->rate()),
              std::tuple(MediaItem::Status::readyToPlay, true, 0.0));
    nextRun.setSelectedInterfaceIP(std::nullopt);
    EXPECT_FALSE(onDisk("selectedInterfaceIP").isValid());
    int playerChanges = 0;
    QObject::connect(&nextRun.backgroundVideo(), &BackgroundVideo::playerChanged, [&] { ++playerChanges; });
    nextRun.clearDefaultVideo();
    EXPECT_EQ(nextRun.backgroundVideo().player(), nullptr);
    EXPECT_EQ(playerChanges, 1);
    EXPECT_FALSE(onDisk("defaultVideoURL").isValid());
}

TEST_F(SettingsManagerTest, ABackgroundVideoThatCannotBeOpenedIsKeptUnlessItIsGone)
{
    QDir(dir.path()).mkdir("a folder.mov");
    const QUrl gone = QUrl::fromLocalFile(dir.filePath("gone.mov"));
    ASSERT_TRUE(QFile(gone.toLocalFile()).open(QIODevice::WriteOnly));
    const QByteArray goneBookmark = *FileBookmark::create(gone);
    QFile::remove(gone.toLocalFile());
    const struct {
        QByteArray bookmark;
        std::string line;
        bool kept;
    } cases[] = {
        {"relative/video.mov", "SettingsManager: Failed to resolve bookmark data", true},
        {dir.filePath("a folder.mov").toUtf8(), "SettingsManager: Failed to access security scoped resource", true},
        {goneBookmark,
         "SettingsManager: Default video file not found at " + gone.toLocalFile().toStdString() + ", clearing setting",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bookmark.toStdString());
        storeRaw("defaultVideoURL", c.bookmark);
        LogCapture log;
        SettingsManager settings;
        EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
        EXPECT_EQ(settings.backgroundVideo().player(), nullptr);
        EXPECT_TRUE(log.contains(c.line));
        EXPECT_EQ(onDisk("defaultVideoURL").toByteArray(), c.kept ? c.bookmark : QByteArray());
    }
}

TEST_F(SettingsManagerTest, ValuesOfTheWrongKindReadAsDefaultsAndStayStored)
{
    storeRaw("showDefaultVideoInPlayer", QStringLiteral("yes please"));
    storeRaw("selectedInterfaceBroadcast", QStringList{"10.0.0.255", "10.1.0.255"});
    storeRaw("defaultVideoURL", QStringLiteral("/some/path.mov"));
    storeRaw("patternSettings", R"({"selected":"Disco","speed":"fast","size":5,"color1":"mauve-ish","autoRotate":1})");
    storeRaw("mediaFolder", "not/absolute");
    storeRaw("uploadSizeLimit", "lots");
    QFile file(userStore().fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray fileBefore = file.readAll();

    LogCapture log;
    SettingsManager settings;
    EXPECT_TRUE(settings.showDefaultVideoInPlayer());
    EXPECT_EQ(settings.selectedInterfaceBroadcast(), std::nullopt);
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_EQ(settings.mediaFolder(), SettingsManager::defaultMediaFolder());
    EXPECT_EQ(settings.uploadSizeLimit(), SettingsManager::defaultUploadSizeLimit);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"SettingsManager: No saved default video bookmark found"});
    PatternParameters expected;
    expected.size = 5;
    EXPECT_EQ(settings.patterns().parameters(), expected) << "each readable value counts on its own";

    file.seek(0);
    EXPECT_EQ(file.readAll(), fileBefore);
    // Once the operator sets a value it replaces the foreign one.
    settings.setShowDefaultVideoInPlayer(false);
    EXPECT_EQ(onDisk("showDefaultVideoInPlayer").toString(), "false");
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
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"SettingsStore: Failed to write " + userStore().fileName().toStdString()});
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
        EXPECT_TRUE(SettingsManager::playlistsFolder().endsWith("/Orvelo/Playlists"));
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
    EXPECT_FALSE(onDisk("mediaFolder").isValid());
}
