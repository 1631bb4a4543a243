#include "core/PreloadChoice.h"

namespace orvelo {

QList<MediaTrack> preloadChoice(const QList<MediaTrack>& playlist, std::optional<int> current,
                                const QList<QUuid>& recentlyCued)
{
    QList<MediaTrack> chosen;
    const auto size = playlist.size();
    const auto add = [&](const MediaTrack& track) {
        if (current && playlist[*current].id == track.id)
            return;
        for (const MediaTrack& already : chosen)
            if (already.id == track.id)
                return;
        chosen << track;
    };
    if (size == 0)
        return chosen;
    if (current && (*current < 0 || *current >= size))
        current.reset();
    if (!current) {
        add(playlist.front());
    } else {
        add(playlist[(*current + 1) % size]);
        add(playlist[(*current + size - 1) % size]);
    }
    for (const QUuid& id : recentlyCued)
        for (const MediaTrack& track : playlist)
            if (track.id == id)
                add(track);
    return chosen;
}

} // namespace orvelo
