#pragma once

#include <QString>

#include <optional>

namespace orvelo {

// A host name as DNS allows it (letters, digits, hyphens and dots), in lower case and without
// a trailing dot; nothing for anything else. Apart from the settings object, so that checking
// a settings document needs no settings store.
std::optional<QString> normalizedHostName(const QString& text);

} // namespace orvelo
