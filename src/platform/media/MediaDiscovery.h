#pragma once

#include <QString>

#include <optional>

namespace orvelo {

// What a media file holds, read from its container without playing it: its length and
// whether it carries a picture and sound. Blocks for up to `timeoutMs` per file, so call it off
// the main thread; safe from several threads at once.
struct MediaDiscovery {
    std::optional<double> duration; // seconds; none when the container does not say
    bool hasVideo = false;
    bool hasAudio = false;
    QString error; // why the file is not playable media; empty on success

    bool playable() const { return error.isEmpty(); }

    static MediaDiscovery discover(const QString& path, int timeoutMs = 5000);
};

} // namespace orvelo
