// The smaller stores: theme, timecode, sync group and web access settings; values out of range
// refused, no secret in the clear, and everything kept across a restart.
#include "platform/Secrets.h"
#include "settings/LibraryRoots.h"
#include "settings/SyncSettings.h"
#include "settings/ThemeManager.h"
#include "settings/TimecodeSettings.h"
#include "settings/WebRemoteSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

using namespace orvelo;

TEST(ThemeManager, StartsWithOnyxDarkAndSwitchesByIdOnly)
{
    ThemeManager themes;
    EXPECT_EQ(themes.currentTheme().id, "onyx_dark");
    int notifications = 0;
    QObject::connect(&themes, &ThemeManager::currentThemeChanged, &themes, [&] { ++notifications; });

    themes.setTheme("midnight");
    EXPECT_EQ(themes.currentTheme().name, "Midnight");
    themes.setTheme("Daylight");
    themes.setTheme("");
    EXPECT_EQ(themes.currentTheme().id, "midnight");
    EXPECT_EQ(notifications, 1);

    EXPECT_EQ(ThemeManager().currentTheme().id, "midnight"); // kept across a restart
}

TEST(TimecodeSettings, OffsetsParseInRangeOnlyAndEverythingSurvivesARestart)
{
    const auto offset = TimecodeSettings::parseOffset("-01:00:02:05");
    ASSERT_TRUE(offset);
    EXPECT_EQ(offset->inFrames(25), -((3600 + 2) * 25 + 5));
    EXPECT_EQ(offset->text(), "-01:00:02:05");
    EXPECT_EQ(TimecodeSettings::parseOffset("+00:00:01:29")->inFrames(30), 59);
    for (const char* bad : {"24:00:00:00", "00:60:00:00", "00:00:60:00", "00:00:00:30", "1:00:00:00", "", "x"})
        EXPECT_FALSE(TimecodeSettings::parseOffset(bad)) << bad;
    EXPECT_EQ(TimecodeSettings::sourceFromText("artnet"), TimecodeSettings::Source::artNet);
    EXPECT_FALSE(TimecodeSettings::sourceFromText("ArtNet"));

    {
        QSettings().clear();
        TimecodeSettings settings;
        EXPECT_EQ(settings.source(), TimecodeSettings::Source::console);
        EXPECT_EQ(settings.freewheelFrames(), 10);
        settings.setSource(TimecodeSettings::Source::artNet);
        settings.setOffset(*offset);
        settings.setFollowSelectedTrack(true);
        EXPECT_FALSE(settings.setFreewheelFrames(251));
        EXPECT_TRUE(settings.setFreewheelFrames(0));
        EXPECT_FALSE(settings.setLtcInChannel(0));
        EXPECT_TRUE(settings.setLtcInChannel(2));
        settings.setLtcInDevice("hw:1,0");
        EXPECT_FALSE(settings.ltcOutEnabled());
        EXPECT_FALSE(settings.setLtcOutChannel(65));
        EXPECT_TRUE(settings.setLtcOutChannel(3));
        settings.setLtcOutDevice("hw:2,0");
        settings.setLtcOutEnabled(true);
    }
    const TimecodeSettings restarted;
    EXPECT_EQ(restarted.source(), TimecodeSettings::Source::artNet);
    EXPECT_EQ(restarted.offset(), *offset);
    EXPECT_TRUE(restarted.followSelectedTrack());
    EXPECT_EQ(restarted.freewheelFrames(), 0);
    EXPECT_EQ(std::pair(restarted.ltcInDevice(), restarted.ltcInChannel()), std::pair(QString("hw:1,0"), 2));
    EXPECT_TRUE(restarted.ltcOutEnabled());
    EXPECT_EQ(std::pair(restarted.ltcOutDevice(), restarted.ltcOutChannel()), std::pair(QString("hw:2,0"), 3));
}

TEST(SyncSettings, LeaderAddressesParseAndEverythingSurvivesARestart)
{
    using Address = SyncSettings::Address;
    EXPECT_EQ(SyncSettings::parseAddress("10.0.0.5"), (Address{"10.0.0.5", SyncSettings::defaultMessagePort}));
    EXPECT_EQ(SyncSettings::parseAddress("10.0.0.5:9700"), (Address{"10.0.0.5", 9700}));
    for (const char* bad : {"10.0.0", "10.0.0.256", "10.0.0.5:0", "10.0.0.5:65536", "stage-leader", ""})
        EXPECT_FALSE(SyncSettings::parseAddress(bad)) << bad;
    {
        QSettings().clear();
        SyncSettings settings;
        EXPECT_EQ(settings.role(), SyncSettings::Role::off);
        EXPECT_FALSE(settings.setLeader("leader.local"));
        EXPECT_TRUE(settings.setLeader("10.0.0.5:9700"));
        EXPECT_FALSE(settings.setGroup(QString(65, 'g')));
        EXPECT_TRUE(settings.setGroup("stage"));
        settings.setKey("sesame");
        EXPECT_FALSE(settings.setLeadTimeMs(10));
        EXPECT_TRUE(settings.setLeadTimeMs(200));
        settings.setRole(SyncSettings::Role::follower);
    }
    const SyncSettings restarted;
    EXPECT_EQ(restarted.role(), SyncSettings::Role::follower);
    EXPECT_EQ(restarted.leaderAddress(), (SyncSettings::Address{"10.0.0.5", 9700}));
    EXPECT_EQ(restarted.group(), "stage");
    EXPECT_EQ(restarted.key(), "sesame");
    EXPECT_EQ(restarted.leadTimeMs(), 200);
}

TEST(WebRemoteSettings, SecretsAreStoredOnlyAsHashesAndSurviveARestart)
{
    QString storeFile;
    QString secret;
    {
        WebRemoteSettings settings;
        EXPECT_FALSE(settings.passwordSet());
        EXPECT_EQ(settings.setPassword("stage door 7"), std::nullopt);
        secret = *settings.createToken("Show control", AccessRole::operate).secret;
        EXPECT_FALSE(settings.createToken("Show control", AccessRole::view).secret);
        EXPECT_FALSE(settings.createToken("", AccessRole::view).secret);
        EXPECT_EQ(settings.setSessionIdleHours(0), QString("sessionIdleHours must be above 0 and at most 2160"));
        EXPECT_EQ(settings.setSessionIdleHours(2), std::nullopt);
        EXPECT_NE(settings.setHostNames({"show.local", "not a name"}), std::nullopt);
        EXPECT_EQ(settings.setHostNames({"Show.Local.", "show.local"}), std::nullopt);
        settings.setInterfaceName("eth1");
        storeFile = QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orvelo", "Orvelo").fileName();
    }
    QFile file(storeFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    EXPECT_FALSE(stored.contains("stage door 7"));
    EXPECT_FALSE(stored.contains(secret.toUtf8()));
    EXPECT_TRUE(stored.contains("$argon2id$"));

    WebRemoteSettings restarted;
    EXPECT_TRUE(secrets::verifyPassword(restarted.passwordHash().toStdString(), "stage door 7"));
    EXPECT_FALSE(secrets::verifyPassword(restarted.passwordHash().toStdString(), "stage door"));
    ASSERT_EQ(restarted.tokens().size(), 1);
    EXPECT_EQ(restarted.tokens()[0].digest.toStdString(), secrets::digest(secret.toStdString()));
    EXPECT_EQ(restarted.sessionIdleHours(), 2);
    EXPECT_EQ(restarted.hostNames(), QStringList{"show.local"});
    EXPECT_EQ(restarted.interfaceName(), "eth1");
    EXPECT_TRUE(restarted.revokeToken("Show control"));
    EXPECT_FALSE(restarted.revokeToken("Show control"));
    EXPECT_EQ(restarted.setPassword(""), std::nullopt);
    EXPECT_FALSE(WebRemoteSettings().passwordSet());
}

TEST(LibraryRoots, NeverTheWholeDiskTheHomeFolderOrTheSystem)
{
    const QString home = QDir::homePath();
    for (const QString& refused :
         {QString("relative/media"), home + "/", QString("/usr/share/videos"), QString("/media")})
        EXPECT_TRUE(LibraryRoots::refusal(refused, home)) << refused.toStdString();
    for (const QString& accepted : {home + "/Videos", QString("/media/usb0")})
        EXPECT_EQ(LibraryRoots::refusal(accepted, home), std::nullopt) << accepted.toStdString();
    WebRemoteSettings settings;
    EXPECT_TRUE(settings.addLibraryRoot("/"));
    EXPECT_EQ(settings.addLibraryRoot("/srv/show/"), std::nullopt);
    EXPECT_EQ(settings.addLibraryRoot("/srv/show"), std::nullopt);
    EXPECT_EQ(WebRemoteSettings().libraryRoots(), QStringList{"/srv/show"});
    EXPECT_TRUE(LibraryRoots::contains(settings.allLibraryRoots(), "/srv/show/Act 1"));
    EXPECT_FALSE(LibraryRoots::contains(settings.allLibraryRoots(), "/srv/showtime"));
    EXPECT_FALSE(LibraryRoots::contains(settings.allLibraryRoots(), "/srv/show/../other"));
}
