#pragma once

#include "web/WebServices.h"

#include <QJsonObject>

#include <optional>
#include <QString>

#include <cstdint>

class QObject;

namespace orvelo::WebActions {

// What the API's POST requests do to the player. Each runs on the main thread, after the
// client has had its answer; a service that is gone by then makes its part do nothing.

// Why a settings document must be refused as a whole, or nothing: a media folder that is not
// an absolute path, or an upload limit below one byte, would otherwise be replaced by a
// default while the caller is told it was accepted; a media folder outside the library roots
// would expose and overwrite files anywhere on the disk; web-remote values out of range would
// be dropped unseen.
std::optional<QString> settingsRefusal(const WebServices& services, const QJsonObject& document);

// "play", "pause", "stop", "next" and "prev" (which stops); anything else does nothing.
void executeCommand(const WebServices& services, const QString& command);
// Out-of-range positions do nothing.
void playTrack(const WebServices& services, std::int64_t index);
// "up" or "down"; any other direction does nothing.
void reorderTrack(const WebServices& services, std::int64_t index, const QString& direction);
// Four separate writes of the DMX configuration, so its observers see each field change.
void updateArtNetConfig(const WebServices& services, std::int64_t universe, std::int64_t subnet, std::int64_t net,
                        std::int64_t channel);
// Applies every group of a settings document that is present; keys of the wrong type are
// skipped. The theme and the default-video steps are queued once more on `context`.
void applySettings(const WebServices& services, const QJsonObject& document, QObject* context);
// Writes every present key of an effects document back, unclamped; `reset` true ends with
// the defaults.
void applyEffectsSettings(const WebServices& services, const QJsonObject& document);

} // namespace orvelo::WebActions
