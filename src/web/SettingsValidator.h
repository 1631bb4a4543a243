#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace orvelo {

// Checks a settings document before any of it is applied: every value present must have its
// kind and lie in its range, so that a document is taken whole or not at all and the client is
// told which field is wrong. Unknown keys are left alone (newer pages, older players). Pure.
class SettingsValidator {
public:
    struct Refusal {
        QString field; // "group.key"
        QString reason;
    };

    // `libraryRoots`: where the media folder may lie.
    static std::optional<Refusal> check(const QJsonObject& document, const QStringList& libraryRoots);
    // The body of POST /api/config/artnet: universe, subnet, net, channel.
    static std::optional<Refusal> checkAddress(const QJsonObject& document);
};

} // namespace orvelo
