#pragma once

#include "web/WebServices.h"

#include <QJsonObject>

#include <QString>
#include <optional>

#include <cstdint>

class QObject;

namespace orvelo::WebActions {

// What the API's POST requests do to the player. Each runs on the main thread, after the
// client has had its answer; a service that is gone by then makes its part do nothing.

// "play", "pause", "stop", "next", "prev" (which stops) and "seek" (to `position` seconds in
// the current track); anything else does nothing.
void executeCommand(const WebServices& services, const QString& command, std::optional<double> position = {});
// Four separate writes of the DMX configuration, so its observers see each field change.
void updateArtNetConfig(const WebServices& services, std::int64_t universe, std::int64_t subnet, std::int64_t net,
                        std::int64_t channel);
// Applies every group of a settings document that is present (checked beforehand by
// SettingsValidator; keys of the wrong type are skipped). The theme and the default-video steps are queued once more on
// `context`.
void applySettings(const WebServices& services, const QJsonObject& document, QObject* context);
// Writes every present key of an effects document back, unclamped; `reset` true ends with
// the defaults.
void applyEffectsSettings(const WebServices& services, const QJsonObject& document);

} // namespace orvelo::WebActions
