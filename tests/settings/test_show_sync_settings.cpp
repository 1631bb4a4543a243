// Protects how the player is told to follow timecode and to join a sync group: offsets read
// and written as hh:mm:ss:ff, leader addresses read, values out of range refused, and
// everything kept across a restart.
#include "settings/SyncSettings.h"
#include "settings/TimecodeSettings.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace orvelo;

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
