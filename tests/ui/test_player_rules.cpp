// Protects the player panel's rules: timecode, loop badge, "Next:" line, signal lamps and the
// mode buttons that DMX input locks.
#include "ui/PlayerRules.h"

#include <gtest/gtest.h>

#include <limits>

using namespace orvelo;
using namespace orvelo::ui;

TEST(PlayerRules, TimecodeTextAndLoopBadge)
{
    EXPECT_EQ(timecodeText(3723.5, 30.0), "01:02:03:15");
    EXPECT_EQ(timecodeText(90000.0, 25.0), "25:00:00:00"); // hours are not wrapped
    EXPECT_EQ(timecodeText(std::numeric_limits<double>::quiet_NaN(), 25.0), "00:00:00:00");
    EXPECT_EQ(remainingText(75.4), "-01:15");
    EXPECT_EQ(remainingText(3675.0), "-1:01:15");
    EXPECT_EQ(loopBadge(1), "[1x]");
    EXPECT_EQ(loopBadge(0), "[Loop: ∞]");
    EXPECT_EQ(loopBadge(3), "[Loop: 3]");
}

TEST(PlayerRules, NextLine)
{
    QList<MediaTrack> list;
    for (const char* name : {"a.mov", "b.mov", "c.wav"})
        list.append(MediaTrack{QUuid::createUuid(), {}, name, 0, 1});
    EXPECT_EQ(nextLine(list, list[0].id, 1, false), (NextLine{"b.mov", "forward"}));
    EXPECT_EQ(nextLine(list, list[1].id, 0, false), (NextLine{"b.mov", "repeat"}));
    EXPECT_EQ(nextLine(list, list[2].id, 1, false), (NextLine{"End of Playlist", "stop"}));
    EXPECT_EQ(nextLine(list, list[2].id, 2, true), (NextLine{"a.mov (loop)", "forward"}));
    // A current track that is unknown or absent.
    const NextLine unknown{"Unknown", "questionmark"};
    EXPECT_EQ(nextLine(list, QUuid::createUuid(), 1, true), unknown);
    EXPECT_EQ(nextLine(list, std::nullopt, 1, true), unknown);
}

TEST(PlayerRules, LampsLightForASecondAndDMXInputLocksTheModeButtons)
{
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_FALSE(signalIsLit(QDateTime(), now)); // never a packet
    EXPECT_TRUE(signalIsLit(now.addMSecs(-999), now));
    EXPECT_FALSE(signalIsLit(now.addMSecs(-1000), now));

    EXPECT_EQ(loopAllButton(false), (ModeButton{false, "Disable DMX to enable Playlist Loop"}));
    EXPECT_EQ(autoPlayButton(false), (ModeButton{false, "Disable DMX to enable auto-play"}));
    EXPECT_TRUE(loopAllButton(true).enabled);
    EXPECT_TRUE(autoPlayButton(true).enabled);
}
