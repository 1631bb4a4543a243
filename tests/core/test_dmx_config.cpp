// Protects the DMX configuration record and its enumerations: defaults, the raw values that
// double as labels and serial values, the case order of the pickers, and the keyed record.
#include "core/DMXConfig.h"

#include <QJsonObject>
#include <gtest/gtest.h>

using namespace orvelo;

TEST(DMXConfig, DefaultsAreUniverseZeroStartChannelOneStandardAt25)
{
    const DMXConfig config;
    EXPECT_EQ(config.universe, 0);
    EXPECT_EQ(config.subnet, 0);
    EXPECT_EQ(config.net, 0);
    EXPECT_EQ(config.startChannel, 1);
    EXPECT_EQ(config.mode, DMXMode::standard);
    EXPECT_EQ(rawValue(config.mode), "Standard (1 Ch)");
    EXPECT_EQ(config.frameRate, TimecodeFrameRate::fps25);
}

TEST(DMXConfig, RawValuesReadBackOnlyWhenExact)
{
    EXPECT_EQ(allDMXModes, (std::array{DMXMode::standard, DMXMode::loop, DMXMode::extended}));
    for (const auto mode : allDMXModes)
        EXPECT_EQ(dmxModeFromRawValue(rawValue(mode)), mode);
    EXPECT_EQ(dmxModeFromRawValue("Loop (2 Ch)"), DMXMode::loop);
    EXPECT_EQ(dmxModeFromRawValue("loop"), std::nullopt);
    EXPECT_EQ(dmxModeFromRawValue("Loop (2 Ch) "), std::nullopt);
    EXPECT_EQ(dmxModeFromRawValue(""), std::nullopt);

    EXPECT_EQ(timecodeFrameRateFromRawValue(30.0), TimecodeFrameRate::fps30);
    EXPECT_EQ(timecodeFrameRateFromRawValue(24.0), TimecodeFrameRate::fps24);
    EXPECT_EQ(timecodeFrameRateFromRawValue(29.97), std::nullopt);
    EXPECT_EQ(timecodeFrameRateFromRawValue(25.000001), std::nullopt);
}

TEST(DMXConfig, KeyedRecordRoundTrips)
{
    const DMXConfig config{15, 3, 127, 500, DMXMode::extended, TimecodeFrameRate::fps30};
    const QJsonObject record = config.toJson();
    EXPECT_EQ(record.value("mode").toString(), "Extended (18 Ch)");
    EXPECT_EQ(record.value("frameRate").toDouble(), 30.0);
    EXPECT_EQ(record.value("startChannel").toInteger(), 500);
    EXPECT_EQ(DMXConfig::fromJson(record), config);
    EXPECT_EQ(DMXConfig::fromJson(DMXConfig{}.toJson()), DMXConfig{});
}

TEST(DMXConfig, KeyedRecordWithAnyBadFieldReadsAsNothing)
{
    const QJsonObject good = DMXConfig{}.toJson();
    const auto with = [&](const char* key, const QJsonValue& value) {
        QJsonObject record = good;
        record.insert(key, value);
        return DMXConfig::fromJson(record);
    };
    EXPECT_EQ(with("frameRate", 29.97), std::nullopt);
    EXPECT_EQ(with("frameRate", 30)->frameRate, TimecodeFrameRate::fps30);
    EXPECT_EQ(with("frameRate", "25"), std::nullopt);
    EXPECT_EQ(with("mode", "loop"), std::nullopt);
    EXPECT_EQ(with("mode", "Loop (2 Ch)")->mode, DMXMode::loop);
    EXPECT_EQ(with("universe", 1.5), std::nullopt);
    EXPECT_EQ(with("universe", "1"), std::nullopt);
    EXPECT_EQ(with("startChannel", QJsonValue::Null), std::nullopt);
    // The type itself does not clamp: out-of-range numbers read as they are.
    EXPECT_EQ(with("universe", 99)->universe, 99);

    for (const char* key : {"universe", "subnet", "net", "startChannel", "mode", "frameRate"}) {
        QJsonObject record = good;
        record.remove(key);
        EXPECT_EQ(DMXConfig::fromJson(record), std::nullopt) << "without " << key;
    }
}
