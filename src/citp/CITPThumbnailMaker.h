#pragma once

#include "platform/media/VideoSnapshot.h"
#include "playback/MediaTrack.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace orvelo {

// Makes the JPEG thumbnail a console shows for a playlist entry: the first picture of the
// track's media, fitted into 64 x 64 with its aspect kept. A track without a picture (audio
// only) gets a drawn picture instead. Blocks while decoding: run it on a worker thread. A
// maker is a value; copies may run on several threads at once.
class CITPThumbnailMaker {
public:
    // The first frame of a file, fitted into `maxSize`.
    using FrameSource = std::function<VideoSnapshot(const QString& path, QSize maxSize)>;
    // The picture for a track that has no video, at most `size`. Runs on a worker thread, so it
    // must not touch main-thread state; the pattern renderer can take this place.
    using ArtworkPainter = std::function<QImage(const MediaTrack& track, QSize size)>;

    struct Result {
        QByteArray jpeg; // empty when the thumbnail could not be made
        QString error;
    };

    static constexpr int maxSide = 64;
    // Qt's quality scale; the thumbnail's compression factor of 0.5.
    static constexpr int jpegQuality = 50;

    CITPThumbnailMaker() : CITPThumbnailMaker(FrameSource{}, ArtworkPainter{}) {}
    // An empty function keeps the default: the media layer's snapshot, the drawn artwork.
    explicit CITPThumbnailMaker(FrameSource frames, ArtworkPainter artwork = {});

    Result make(const MediaTrack& track) const;

    // A dark tile with rings in a colour taken from the track's name.
    static QImage drawnArtwork(const MediaTrack& track, QSize size);
    static QByteArray encodeJpeg(const QImage& image);

private:
    FrameSource frames_;
    ArtworkPainter artwork_;
};

} // namespace orvelo
