// Protects the meaning of every console value: consoles are programmed against these bands,
// so a shifted edge or a rounding change would misread a show. And the DMX configuration record
// as it is stored: the raw values that double as labels and serial values read back only when
// exact, and a keyed record with any bad field reads as nothing.
#include "core/DMXConfig.h"
#include "core/DMXDecoding.h"

#include <QJsonObject>
#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace orvelo;
using namespace orvelo::dmx;

TEST(DMXDecoding, ControlLoopAndEffectBandEdges)
{
    // Every value, against the bands as consoles are programmed.
    for (int v = 0; v < 256; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        EXPECT_EQ(decodeControl(value).kind, v <= 5     ? ControlKind::stop
                                             : v <= 10  ? ControlKind::pause
                                             : v <= 245 ? ControlKind::selectTrack
                                                        : ControlKind::stopQuietly)
            << "control value " << v;
        EXPECT_EQ(decodeLoopOverride(value), v < 10 ? std::nullopt : std::optional(v < 110 ? v / 10 : 0))
            << "loop value " << v;
        EXPECT_EQ(effectBand(value), v < 5    ? EffectBand::unchanged
                                     : v < 10 ? EffectBand::reset
                                              : EffectBand::mapped)
            << "effect value " << v;
    }
    // Ten values a track, the last one cut short at 245.
    for (int index = 0; index < 24; ++index) {
        const auto [low, high] = trackBand(index);
        EXPECT_EQ(low, 11 + 10 * index);
        EXPECT_EQ(high, index == 23 ? 245 : low + 9);
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(low)).trackIndex, index);
        EXPECT_EQ(decodeControl(static_cast<std::uint8_t>(high)).trackIndex, index);
    }
}

TEST(DMXDecoding, MappedValuesAtTheEndsAndInSinglePrecision)
{
    EXPECT_EQ(mappedBrightness(10), -1.0f);
    EXPECT_EQ(mappedBrightness(255), 1.0f);
    EXPECT_EQ(mappedSaturation(10), 0.0f);
    EXPECT_EQ(mappedSaturation(255), 2.0f);
    EXPECT_EQ(mappedAlpha(10), 0.0f);
    EXPECT_EQ(mappedAlpha(255), 1.0f);
    EXPECT_EQ(mappedPlaybackSpeed(10), 0.5f);
    EXPECT_EQ(mappedPlaybackSpeed(255), 2.0f);
    EXPECT_DOUBLE_EQ(mappedPatternSpeed(255), 3.0);
    EXPECT_EQ(mappedTimeShift(254), 24);
    EXPECT_EQ(mappedTimeShift(255), 25);
    EXPECT_DOUBLE_EQ(mappedOffset(10), -50.0);
    EXPECT_EQ(mappedOffset(132), 0.0);
    EXPECT_NEAR(mappedOffset(255), 50.41, 0.01);
    // A value in the middle whose double result differs from the float one.
    EXPECT_EQ(mappedBrightness(100), 90.0f / 245.0f * 2.0f - 1.0f);
    EXPECT_NE(static_cast<double>(mappedBrightness(100)), (90.0 / 245.0) * 2.0 - 1.0);

    EXPECT_EQ(mappedPattern(34), AudioVisualPattern::blackScreen);
    EXPECT_EQ(mappedPattern(35), AudioVisualPattern::colorfulAbstract);
    EXPECT_EQ(mappedPattern(255), AudioVisualPattern::pulsingRing);
    for (const auto& [value, mask] : {std::pair{10, ColourMask{false, false, false}},
                                      {11, {true, false, false}},
                                      {13, {true, true, false}},
                                      {14, {false, false, true}},
                                      {16, {false, true, true}},
                                      {17, {true, true, true}},
                                      {255, {true, true, true}}})
        EXPECT_EQ(mappedColourMask(static_cast<std::uint8_t>(value)), mask) << "colour value " << value;
}

TEST(DMXDecoding, TimecodeFromPositionAndOffset)
{
    EXPECT_EQ(timecodeAt(7200 + 61.5, 25), (Timecode{2, 1, 1, 12}));
    EXPECT_EQ(timecodeAt(7200 + 61.5, 30), (Timecode{2, 1, 1, 15}));
    EXPECT_EQ(timecodeAt(86400, 25), (Timecode{0, 0, 0, 0})) << "hours wrap at 24";
    EXPECT_EQ(timecodeAt(23.999, 24)->frames, 23);
    for (const double bad : {-0.04, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(timecodeAt(bad, 25), std::nullopt) << bad;
    EXPECT_TRUE(timecodeAt(1e300, 25).has_value()) << "huge but finite positions must not overflow";
    EXPECT_EQ(timecodeType(24), 0);
    EXPECT_EQ(timecodeType(25), 1);
    EXPECT_EQ(timecodeType(30), 3);
}

TEST(DMXConfig, RawValuesAndTheKeyedRecordReadBackOnlyWhenExact)
{
    for (const auto mode : allDMXModes)
        EXPECT_EQ(dmxModeFromRawValue(rawValue(mode)), mode);
    for (const char* bad : {"loop", "Loop (2 Ch) ", ""})
        EXPECT_EQ(dmxModeFromRawValue(bad), std::nullopt) << bad;
    EXPECT_EQ(timecodeFrameRateFromRawValue(30.0), TimecodeFrameRate::fps30);
    EXPECT_EQ(timecodeFrameRateFromRawValue(29.97), std::nullopt);
    EXPECT_EQ(timecodeFrameRateFromRawValue(25.000001), std::nullopt);

    const DMXConfig config{15, 3, 127, 500, DMXMode::extended, TimecodeFrameRate::fps30};
    const QJsonObject record = config.toJson();
    EXPECT_EQ(record.value("mode").toString(), "Extended (18 Ch)");
    EXPECT_EQ(record.value("frameRate").toDouble(), 30.0);
    EXPECT_EQ(DMXConfig::fromJson(record), config);

    const auto with = [&](const char* key, const QJsonValue& value) {
        QJsonObject changed = record;
        changed.insert(key, value);
        return DMXConfig::fromJson(changed);
    };
    EXPECT_EQ(with("mode", "Loop (2 Ch)")->mode, DMXMode::loop);
    // The type itself does not clamp: out-of-range numbers read as they are.
    EXPECT_EQ(with("universe", 99)->universe, 99);
    for (const auto& [key, value] : {std::pair<const char*, QJsonValue>{"frameRate", 29.97},
                                     {"frameRate", "25"},
                                     {"mode", "loop"},
                                     {"universe", 1.5},
                                     {"universe", "1"},
                                     {"startChannel", QJsonValue::Null},
                                     {"net", 1e300}})
        EXPECT_EQ(with(key, value), std::nullopt) << key;
    for (const char* key : {"universe", "subnet", "net", "startChannel", "mode", "frameRate"}) {
        QJsonObject missing = record;
        missing.remove(key);
        EXPECT_EQ(DMXConfig::fromJson(missing), std::nullopt) << "without " << key;
    }
}
