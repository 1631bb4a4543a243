#include "web/WebJson.h"

#include <QJsonArray>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace orvelo::webjson {

namespace {

bool allNumbersFinite(const QJsonValue& value)
{
    if (value.isDouble())
        return std::isfinite(value.toDouble());
    if (value.isArray()) {
        for (const QJsonValue& element : value.toArray())
            if (!allNumbersFinite(element))
                return false;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            if (!allNumbersFinite(it.value()))
                return false;
    }
    return true;
}

} // namespace

std::optional<QJsonObject> parseObject(std::string_view body)
{
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<std::int64_t> integer(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // 2^63 itself does not fit; every double below it in magnitude that is whole does.
    if (!std::isfinite(number) || std::trunc(number) != number || std::abs(number) >= 9223372036854775808.0)
        return std::nullopt;
    // toInteger keeps the exact digits of large integers that a double would round.
    return value.toInteger(static_cast<std::int64_t>(number));
}

std::optional<double> number(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<bool> boolean(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QString> string(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QJsonObject> object(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

std::optional<std::string> compactText(const QJsonDocument& document)
{
    const QJsonValue root = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    if (!allNumbersFinite(root))
        return std::nullopt;
    return document.toJson(QJsonDocument::Compact).toStdString();
}

QJsonValue floatValue(float value)
{
    if (!std::isfinite(value))
        return static_cast<double>(value);
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    double widened = 0.0;
    std::from_chars(text, result.ptr, widened);
    return widened;
}

} // namespace orvelo::webjson
