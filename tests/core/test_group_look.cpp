// The look a sync group's leader hands its followers: carried over exactly, and bytes that are
// not a look refused rather than half applied.
#include "core/GroupLook.h"

#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(GroupLook, CarriesEffectsAndPatternFromLeaderToFollower)
{
    VideoEffectsManager leaderFx;
    VideoEffectsManager followerFx;
    SettingsManager settings;
    leaderFx.setBrightness(0.25f);
    leaderFx.setSaturation(0.5f);
    leaderFx.setIsInverted(true);
    leaderFx.setGreenEnabled(false);
    leaderFx.setBlueTimeShift(-3);
    leaderFx.setRedVerticalOffset(0.125);
    settings.setSelectedPattern(AudioVisualPattern::pulsingRing);
    settings.setPatternSpeed(2.5);
    const GroupLook sent = GroupLook::capture(leaderFx, settings);

    settings.setSelectedPattern(AudioVisualPattern::blackScreen);
    const auto received = GroupLook::decode(sent.encode());
    ASSERT_TRUE(received);
    EXPECT_EQ(*received, sent);
    received->applyTo(followerFx, settings);
    EXPECT_EQ(GroupLook::capture(followerFx, settings), sent);
    EXPECT_EQ(followerFx.blueTimeShift(), -3);
    EXPECT_EQ(settings.selectedPattern(), AudioVisualPattern::pulsingRing);
}

TEST(GroupLook, RefusesBytesThatAreNotALook)
{
    GroupLook look;
    look.pattern = AudioVisualPattern::spectrumBars;
    const auto bytes = look.encode();
    for (std::size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(GroupLook::decode(std::span(bytes).first(size))) << size;
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(GroupLook::decode(longer));
    auto newer = bytes;
    newer[0] = 2;
    EXPECT_FALSE(GroupLook::decode(newer));
    auto unknownPattern = bytes;
    unknownPattern[bytes.size() - 9] ^= 0x20; // the last letter of the pattern's name
    EXPECT_FALSE(GroupLook::decode(unknownPattern));
    auto notANumber = bytes;
    std::fill_n(notANumber.begin() + 1, 8, 0xff);
    EXPECT_FALSE(GroupLook::decode(notANumber));
}
