// Protects the meaning of every console value: consoles are programmed against these bands,
// so a shifted edge or a rounding change would misread a show.
#include "core/DMXDecoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace orvelo;
using namespace orvelo::dmx;

TEST(DMXDecoding, ControlChannelBandEdges)
{
    struct Case {
        int value;
        ControlKind kind;
    };
    for (const Case& c : {Case{0, ControlKind::stop}, {5, ControlKind::stop}, {6, ControlKind::pause},
                          {10, ControlKind::pause}, {11, ControlKind::selectTrack}, {245, ControlKind::selectTrack},
                          {246, ControlKind::stopQuietly}, {255, ControlKind::stopQuietly}}) {
        SCOPED_TRACE("value " + std::to_string(c.value));
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(c.value)).kind, c.kind);
    }
    // Ten values a track, the last one cut short at 245.
    EXPECT_EQ(trackBand(0), (std::pair{11, 20}));
    EXPECT_EQ(trackBand(23), (std::pair{241, 245}));
    for (int index = 0; index < 24; ++index) {
        const auto [low, high] = trackBand(index);
        EXPECT_EQ(high - low, index == 23 ? 4 : 9);
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(low)).trackIndex, index);
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(high)).trackIndex, index);
    }
}

TEST(DMXDecoding, LoopChannelAndEffectBandEdges)
{
    for (const auto& [value, expected] : {std::pair<int, std::optional<int>>{0, std::nullopt}, {9, std::nullopt},
                                          {10, 1}, {19, 1}, {20, 2}, {109, 10}, {110, 0}, {255, 0}}) {
        SCOPED_TRACE("loop value " + std::to_string(value));
        EXPECT_EQ(decodeLoopOverride(static_cast<std::uint8_t>(value)), expected);
    }
    for (const auto& [value, band] : {std::pair{0, EffectBand::unchanged}, {4, EffectBand::unchanged},
                                      {5, EffectBand::reset}, {9, EffectBand::reset}, {10, EffectBand::mapped}}) {
        SCOPED_TRACE("effect value " + std::to_string(value));
        EXPECT_EQ(effectBand(static_cast<std::uint8_t>(value)), band);
    }
}

TEST(DMXDecoding, MappedValuesAtTheEndsAndInSinglePrecision)
{
    EXPECT_EQ(mappedSaturation(10), 0.0f);
    EXPECT_EQ(mappedAlpha(10), 0.0f);
    EXPECT_DOUBLE_EQ(mappedOffset(10), -50.0);
    EXPECT_EQ(mappedSaturation(255), 2.0f);
    EXPECT_EQ(mappedAlpha(255), 1.0f);
    EXPECT_NEAR(mappedOffset(255), 50.41, 0.01);
    EXPECT_EQ(mappedOffset(132), 0.0);

    for (int v = 10; v <= 255; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        const float f = static_cast<float>(v - 10) / 245.0f;
        EXPECT_EQ(mappedBrightness(value), f + f - 1.0f);
        EXPECT_EQ(mappedPlaybackSpeed(value), f * 1.5f + 0.5f);
        EXPECT_EQ(mappedPatternSpeed(value), static_cast<double>(f) * 2.9 + 0.1);
        EXPECT_EQ(mappedTimeShift(value), static_cast<int>(f * 25.0f));
    }
    EXPECT_EQ(mappedBrightness(10), -1.0f);
    EXPECT_EQ(mappedTimeShift(255), 25);
    // A value in the middle whose double result differs from the float one.
    EXPECT_NE(static_cast<double>(mappedBrightness(100)), (90.0 / 245.0) * 2.0 - 1.0);
}

TEST(DMXDecoding, PatternAndColourMask)
{
    EXPECT_EQ(mappedPattern(34), AudioVisualPattern::blackScreen);
    EXPECT_EQ(mappedPattern(35), AudioVisualPattern::colorfulAbstract);
    EXPECT_EQ(mappedPattern(255), AudioVisualPattern::pulsingRing);

    for (const auto& [value, mask] : {std::pair{10, ColourMask{false, false, false}}, {11, {true, false, false}},
                                      {13, {true, true, false}}, {14, {false, false, true}}, {16, {false, true, true}},
                                      {17, {true, true, true}}, {255, {true, true, true}}}) {
        SCOPED_TRACE("colour value " + std::to_string(value));
        EXPECT_EQ(mappedColourMask(static_cast<std::uint8_t>(value)), mask);
    }
}

TEST(DMXDecoding, TimecodeFromPositionAndOffset)
{
    EXPECT_EQ(timecodeAt(7200 + 61.5, 25), (Timecode{2, 1, 1, 12}));
    EXPECT_EQ(timecodeAt(7200 + 61.5, 30), (Timecode{2, 1, 1, 15}));
    EXPECT_EQ(timecodeAt(86400, 25), (Timecode{0, 0, 0, 0})) << "hours wrap at 24";
    EXPECT_EQ(timecodeAt(23.999, 24)->frames, 23);

    EXPECT_EQ(timecodeAt(-0.04, 25), std::nullopt);
    EXPECT_EQ(timecodeAt(std::numeric_limits<double>::quiet_NaN(), 25), std::nullopt);
    EXPECT_EQ(timecodeAt(std::numeric_limits<double>::infinity(), 25), std::nullopt);
    EXPECT_TRUE(timecodeAt(1e300, 25).has_value()) << "huge but finite positions must not overflow";

    EXPECT_EQ(timecodeType(24), 0);
    EXPECT_EQ(timecodeType(25), 1);
    EXPECT_EQ(timecodeType(30), 3);
}
