// Protects the meaning of every console value: consoles are programmed against these bands,
// so a shifted edge or a rounding change would misread a show.
#include "core/DMXDecoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orvelo;
using namespace orvelo::dmx;

TEST(DMXDecoding, ControlChannelBandEdges)
{
    struct Case {
        int value;
        ControlKind kind;
        int track;
    };
    const Case cases[] = {
        {0, ControlKind::stop, -1},          {5, ControlKind::stop, -1},
        {6, ControlKind::pause, -1},         {10, ControlKind::pause, -1},
        {11, ControlKind::selectTrack, 0},   {20, ControlKind::selectTrack, 0},
        {21, ControlKind::selectTrack, 1},   {241, ControlKind::selectTrack, 23},
        {245, ControlKind::selectTrack, 23}, {246, ControlKind::stopQuietly, -1},
        {255, ControlKind::stopQuietly, -1},
    };
    for (const Case& c : cases) {
        const ControlAction a = decodeControl(static_cast<std::uint8_t>(c.value));
        EXPECT_EQ(a.kind, c.kind) << "value " << c.value;
        if (c.kind == ControlKind::selectTrack) {
            EXPECT_EQ(a.trackIndex, c.track) << "value " << c.value;
        }
    }
    EXPECT_EQ(trackBand(0), (std::pair{11, 20}));
    EXPECT_EQ(trackBand(23), (std::pair{241, 245}));
    for (int index = 0; index < 24; ++index) {
        const auto [low, high] = trackBand(index);
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(low)).trackIndex, index);
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(high)).trackIndex, index);
    }
}

TEST(DMXDecoding, LoopChannelEdges)
{
    EXPECT_EQ(decodeLoopOverride(0), std::nullopt);
    EXPECT_EQ(decodeLoopOverride(9), std::nullopt);
    EXPECT_EQ(decodeLoopOverride(10), 1);
    EXPECT_EQ(decodeLoopOverride(19), 1);
    EXPECT_EQ(decodeLoopOverride(20), 2);
    EXPECT_EQ(decodeLoopOverride(109), 10);
    EXPECT_EQ(decodeLoopOverride(110), 0);
    EXPECT_EQ(decodeLoopOverride(255), 0);
}

TEST(DMXDecoding, EffectBandsAndMappedExtremes)
{
    EXPECT_EQ(effectBand(0), EffectBand::unchanged);
    EXPECT_EQ(effectBand(4), EffectBand::unchanged);
    EXPECT_EQ(effectBand(5), EffectBand::reset);
    EXPECT_EQ(effectBand(9), EffectBand::reset);
    EXPECT_EQ(effectBand(10), EffectBand::mapped);

    // Lowest mapped values.
    EXPECT_EQ(mappedBrightness(10), -1.0f);
    EXPECT_EQ(mappedSaturation(10), 0.0f);
    EXPECT_EQ(mappedAlpha(10), 0.0f);
    EXPECT_EQ(mappedPlaybackSpeed(10), 0.5f);
    EXPECT_DOUBLE_EQ(mappedPatternSpeed(10), 0.1);
    EXPECT_EQ(mappedTimeShift(10), 0);
    EXPECT_DOUBLE_EQ(mappedOffset(10), -50.0);
    // Highest.
    EXPECT_EQ(mappedBrightness(255), 1.0f);
    EXPECT_EQ(mappedSaturation(255), 2.0f);
    EXPECT_EQ(mappedAlpha(255), 1.0f);
    EXPECT_EQ(mappedPlaybackSpeed(255), 2.0f);
    EXPECT_DOUBLE_EQ(mappedPatternSpeed(255), 3.0);
    EXPECT_EQ(mappedTimeShift(255), 25);
    EXPECT_NEAR(mappedOffset(255), 50.41, 0.01);
    EXPECT_EQ(mappedOffset(132), 0.0);
}

TEST(DMXDecoding, MappedValuesUseSinglePrecisionExactly)
{
    for (int v = 10; v <= 255; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        const float f = static_cast<float>(v - 10) / 245.0f;
        EXPECT_EQ(mappedBrightness(value), f + f - 1.0f);
        EXPECT_EQ(mappedPlaybackSpeed(value), f * 1.5f + 0.5f);
        EXPECT_EQ(mappedPatternSpeed(value), static_cast<double>(f) * 2.9 + 0.1);
        EXPECT_EQ(mappedTimeShift(value), static_cast<int>(f * 25.0f));
    }
    // A value in the middle whose double result differs from the float one.
    EXPECT_NE(static_cast<double>(mappedBrightness(100)), (90.0 / 245.0) * 2.0 - 1.0);
}

TEST(DMXDecoding, PatternAndColourMask)
{
    EXPECT_EQ(mappedPattern(34), AudioVisualPattern::blackScreen);
    EXPECT_EQ(mappedPattern(35), AudioVisualPattern::colorfulAbstract);
    EXPECT_EQ(mappedPattern(255), AudioVisualPattern::pulsingRing);

    EXPECT_EQ(mappedColourMask(10), (ColourMask{false, false, false}));
    EXPECT_EQ(mappedColourMask(11), (ColourMask{true, false, false}));
    EXPECT_EQ(mappedColourMask(13), (ColourMask{true, true, false}));
    EXPECT_EQ(mappedColourMask(14), (ColourMask{false, false, true}));
    EXPECT_EQ(mappedColourMask(16), (ColourMask{false, true, true}));
    EXPECT_EQ(mappedColourMask(17), (ColourMask{true, true, true}));
    EXPECT_EQ(mappedColourMask(255), (ColourMask{true, true, true}));
}

TEST(DMXDecoding, TimecodeFromPositionAndOffset)
{
    EXPECT_EQ(timecodeAt(7200 + 61.5, 25), (Timecode{2, 1, 1, 12}));
    EXPECT_EQ(timecodeAt(7200 + 61.5, 30), (Timecode{2, 1, 1, 15}));
    EXPECT_EQ(timecodeAt(1.5, 25), (Timecode{0, 0, 1, 12}));
    EXPECT_EQ(timecodeAt(86400, 25), (Timecode{0, 0, 0, 0})) << "hours wrap at 24";
    EXPECT_EQ(timecodeAt(23.999, 24)->frames, 23);

    EXPECT_EQ(timecodeAt(-0.04, 25), std::nullopt);
    EXPECT_EQ(timecodeAt(std::numeric_limits<double>::quiet_NaN(), 25), std::nullopt);
    EXPECT_EQ(timecodeAt(std::numeric_limits<double>::infinity(), 25), std::nullopt);
    EXPECT_TRUE(timecodeAt(1e300, 25).has_value()) << "huge but finite positions must not overflow";
}

TEST(DMXDecoding, TimecodeTypeMatchesTheRate)
{
    EXPECT_EQ(timecodeType(24), 0);
    EXPECT_EQ(timecodeType(25), 1);
    EXPECT_EQ(timecodeType(30), 3);
}
