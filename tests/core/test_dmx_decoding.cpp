// Consoles are programmed against these bands: a shifted edge or rounding change would misread a
// show. And a stored DMX record with any bad or missing field reads as nothing.
#include "core/DMXConfig.h"
#include "core/DMXDecoding.h"

#include <QJsonObject>
#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using namespace orvelo;
using namespace orvelo::dmx;

TEST(DMXDecoding, ControlLoopAndEffectBandEdges)
{
    for (int v = 0; v < 256; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        EXPECT_EQ(decodeControl(value).kind, v <= 5     ? ControlKind::stop
                                             : v <= 10  ? ControlKind::pause
                                             : v <= 245 ? ControlKind::selectTrack
                                                        : ControlKind::stopQuietly)
            << "control value " << v;
        EXPECT_EQ(decodeLoopOverride(value), v < 10 ? std::nullopt : std::optional(v < 110 ? v / 10 : 0)) << v;
        EXPECT_EQ(effectBand(value), v < 5    ? EffectBand::unchanged
                                     : v < 10 ? EffectBand::reset
                                              : EffectBand::mapped)
            << v;
    }
    // Ten values a track, the last one cut short at 245.
    for (int index = 0; index < 24; ++index) {
        const auto [low, high] = trackBand(index);
        EXPECT_EQ(std::pair(low, high), std::pair(11 + 10 * index, index == 23 ? 245 : 20 + 10 * index));
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(high)).trackIndex, index);
    }
}

TEST(DMXDecoding, MappedValuesInSinglePrecisionAndTimecode)
{
    // 100 is a value whose double result differs from the float one.
    EXPECT_EQ(mappedBrightness(100), 90.0f / 245.0f * 2.0f - 1.0f);
    EXPECT_EQ(mappedSaturation(255), 2.0f);
    EXPECT_EQ(mappedAlpha(10), 0.0f);
    EXPECT_EQ(mappedPlaybackSpeed(10), 0.5f);
    EXPECT_DOUBLE_EQ(mappedPatternSpeed(255), 3.0);
    EXPECT_EQ(mappedTimeShift(254), 24);
    EXPECT_EQ(mappedOffset(132), 0.0);
    EXPECT_EQ(mappedPattern(35), AudioVisualPattern::colorfulAbstract);
    for (const auto& [value, mask] :
         {std::pair{11, ColourMask{true, false, false}}, {16, {false, true, true}}, {255, {true, true, true}}})
        EXPECT_EQ(mappedColourMask(static_cast<std::uint8_t>(value)), mask) << "colour value " << value;
    EXPECT_EQ(timecodeAt(7200 + 61.5, 30), (Timecode{2, 1, 1, 15}));
    EXPECT_EQ(timecodeAt(86400, 25), (Timecode{0, 0, 0, 0})) << "hours wrap at 24";
    for (const double bad : {-0.04, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(timecodeAt(bad, 25), std::nullopt) << bad;
    EXPECT_TRUE(timecodeAt(1e300, 25).has_value()) << "huge but finite positions must not overflow";
    EXPECT_EQ(std::tuple(timecodeType(24), timecodeType(25), timecodeType(30)), std::tuple(0, 1, 3));
}

TEST(DMXConfig, TheStoredRecordReadsBackOnlyWhenWhole)
{
    EXPECT_EQ(dmxModeFromRawValue("Loop (2 Ch) "), std::nullopt);
    EXPECT_EQ(timecodeFrameRateFromRawValue(29.97), std::nullopt);

    const DMXConfig config{15, 3, 127, 500, DMXMode::extended, TimecodeFrameRate::fps30};
    const QJsonObject record = config.toJson();
    EXPECT_EQ(record.value("mode").toString(), "Extended (18 Ch)");
    EXPECT_EQ(DMXConfig::fromJson(record), config);

    const auto with = [&](const char* key, const QJsonValue& value) {
        QJsonObject changed = record;
        changed.insert(key, value);
        return DMXConfig::fromJson(changed);
    };
    EXPECT_EQ(with("universe", 99)->universe, 99) << "the record itself does not clamp";
    for (const auto& [key, value] :
         {std::pair<const char*, QJsonValue>{"frameRate", 29.97}, {"mode", "loop"}, {"universe", 1.5}, {"net", 1e300}})
        EXPECT_EQ(with(key, value), std::nullopt) << key;
    for (const char* key : {"universe", "subnet", "net", "startChannel", "mode", "frameRate"}) {
        QJsonObject missing = record;
        missing.remove(key);
        EXPECT_EQ(DMXConfig::fromJson(missing), std::nullopt) << "without " << key;
    }
}
