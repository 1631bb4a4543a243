#pragma once

#include "playback/MediaTrack.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace orvelo {

// The track list as the playlist file and the "lastPlaylistData" setting hold it: a compact
// JSON array with one object per track, keys `id` (upper-case UUID text), `url` (absolute,
// percent-encoded URL text), `name`, `timecodeOffset` (seconds) and `repeatCount`.
namespace TrackListCodec {

// Fails (nothing) when an offset is not a finite number, which JSON cannot carry.
std::optional<QByteArray> encode(const QList<MediaTrack>& tracks, QString* whyNot = nullptr);

// All five keys are required in every object; one bad object fails the whole document, and
// `whyNot` then says what was wrong. Unknown keys are ignored.
std::optional<QList<MediaTrack>> decode(const QByteArray& json, QString* whyNot = nullptr);

// The UUID text used in both stored forms: canonical 8-4-4-4-12, upper case, no braces.
QString idText(const QUuid& id);

} // namespace TrackListCodec

} // namespace orvelo
