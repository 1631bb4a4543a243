#pragma once

#include "web/WebServices.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>

namespace orvelo::WebDocuments {

// The JSON documents of the API, read from the services on the main thread. Nothing means
// the service the document needs is gone.

// Playback position and DMX input at a glance; needs the playback engine. `now` is the one
// time both "receiving" flags are judged against.
std::optional<QJsonObject> status(const WebServices& services, const QDateTime& now);
// One entry per playlist track, in order; needs the DMX controller.
std::optional<QJsonArray> playlist(const WebServices& services);
// The DMX address (universe, subnet, net, channel); needs the DMX controller.
std::optional<QJsonObject> artNetConfig(const WebServices& services);
// Every setting the settings page edits; a missing service shows its defaults.
QJsonObject settings(const WebServices& services);
// The pattern, video and colour-channel effects.
QJsonObject effects(const WebServices& services);

} // namespace orvelo::WebDocuments
