#pragma once

#include "playback/MediaTrack.h"

#include <QList>
#include <QUuid>

#include <optional>

namespace orvelo {

// Which tracks to keep ready to start, most wanted first: the one after the current track (the
// first when nothing is current; the last one's next is the first, as consoles cue round), the
// one before it, then those cued most recently. Never the current track itself, never one twice.
QList<MediaTrack> preloadChoice(const QList<MediaTrack>& playlist, std::optional<int> current,
                                const QList<QUuid>& recentlyCued);

} // namespace orvelo
