// Protects the DMX configuration record as it is stored: the raw values that double as labels
// and serial values read back only when exact, and a keyed record with any bad field reads as nothing.
#include "core/DMXConfig.h"

#include <QJsonObject>
#include <gtest/gtest.h>

using namespace orvelo;

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
    for (const auto& [key, value] : {std::pair<const char*, QJsonValue>{"frameRate", 29.97}, {"frameRate", "25"},
                                     {"mode", "loop"}, {"universe", 1.5}, {"universe", "1"},
                                     {"startChannel", QJsonValue::Null}, {"net", 1e300}})
        EXPECT_EQ(with(key, value), std::nullopt) << key;
    for (const char* key : {"universe", "subnet", "net", "startChannel", "mode", "frameRate"}) {
        QJsonObject missing = record;
        missing.remove(key);
        EXPECT_EQ(DMXConfig::fromJson(missing), std::nullopt) << "without " << key;
    }
}
