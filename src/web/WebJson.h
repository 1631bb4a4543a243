#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvelo::webjson {

// Reading request bodies: a value counts only with its JSON type (numbers for numeric fields,
// true/false for flags, text for strings); anything else reads as absent.

// Nothing unless the bytes are one JSON object.
std::optional<QJsonObject> parseObject(std::string_view body);

// A whole number within 64 bits (2 and 2.0 both count; 2.5 does not).
std::optional<std::int64_t> integer(const QJsonObject& object, const char* key);
std::optional<double> number(const QJsonObject& object, const char* key);
std::optional<bool> boolean(const QJsonObject& object, const char* key);
std::optional<QString> string(const QJsonObject& object, const char* key);
std::optional<QJsonObject> object(const QJsonObject& object, const char* key);

// Writing documents.

// Compact text, or nothing when a number is not finite: JSON has no form for it, and a
// document that says null where a number belongs would mislead its reader.
std::optional<std::string> compactText(const QJsonDocument& document);

// A single-precision value as the short decimal it was set from (0.1f reads 0.1, not
// 0.10000000149011612).
QJsonValue floatValue(float value);

} // namespace orvelo::webjson
