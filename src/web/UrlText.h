#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace orvelo::UrlText {

// "%20" -> " ". Nothing when a '%' is not followed by two hex digits or the bytes decoded are
// not UTF-8.
std::optional<QString> percentDecoded(std::string_view text);

// Encodes everything but the characters allowed in a URL path ('/' included), UTF-8 first.
QString percentEncodedPath(const QString& text);

// The text safe inside HTML content and quoted attribute values.
QString htmlEscaped(const QString& text);

} // namespace orvelo::UrlText
