#include "core/DMXConfig.h"

#include <QJsonValue>

#include <cmath>

namespace orvelo {

namespace {

// A JSON number that is a whole number a signed 64-bit field can hold exactly.
std::optional<std::int64_t> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    constexpr double limit = 9007199254740992.0; // 2^53: beyond it a double is no exact integer
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > limit)
        return std::nullopt;
    return static_cast<std::int64_t>(number);
}

} // namespace

QJsonObject DMXConfig::toJson() const
{
    const auto label = rawValue(mode);
    return QJsonObject{
        {"universe", static_cast<qint64>(universe)},
        {"subnet", static_cast<qint64>(subnet)},
        {"net", static_cast<qint64>(net)},
        {"startChannel", static_cast<qint64>(startChannel)},
        {"mode", QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()))},
        {"frameRate", rawValue(frameRate)},
    };
}

std::optional<DMXConfig> DMXConfig::fromJson(const QJsonObject& record)
{
    const auto universe = wholeNumber(record.value("universe"));
    const auto subnet = wholeNumber(record.value("subnet"));
    const auto net = wholeNumber(record.value("net"));
    const auto startChannel = wholeNumber(record.value("startChannel"));
    const QJsonValue modeValue = record.value("mode");
    const QJsonValue rateValue = record.value("frameRate");
    if (!universe || !subnet || !net || !startChannel || !modeValue.isString() || !rateValue.isDouble())
        return std::nullopt;

    const QByteArray label = modeValue.toString().toUtf8();
    const auto mode = dmxModeFromRawValue(std::string_view(label.constData(), static_cast<size_t>(label.size())));
    const auto frameRate = timecodeFrameRateFromRawValue(rateValue.toDouble());
    if (!mode || !frameRate)
        return std::nullopt;
    return DMXConfig{*universe, *subnet, *net, *startChannel, *mode, *frameRate};
}

} // namespace orvelo
