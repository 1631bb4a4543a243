#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace orvelo {

// The first picture of a media file, for thumbnails.
struct VideoSnapshot {
    QImage image;  // RGB32; null when the snapshot failed
    QString error; // why it failed; empty on success

    // Decodes the first frame of `path`, honouring the file's rotation, and scales it to fit
    // within `maxSize` keeping its aspect ratio (never enlarged). Blocks for up to `timeoutMs`,
    // so call it off the main thread; safe from several threads at once.
    static VideoSnapshot firstFrame(const QString& path, QSize maxSize, int timeoutMs = 5000);
};

} // namespace orvelo
