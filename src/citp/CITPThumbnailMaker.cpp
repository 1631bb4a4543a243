#include "citp/CITPThumbnailMaker.h"

#include <QBuffer>
#include <QColor>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>
#include <QRadialGradient>

namespace orvelo {

namespace {

// Audio files give no frame; those get a drawn picture, while any other failure (a missing
// or broken video file) is reported.
bool isAudioFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return false;
    return QMimeDatabase().mimeTypeForFile(info).name().startsWith(QLatin1String("audio/"));
}

} // namespace

CITPThumbnailMaker::CITPThumbnailMaker(FrameSource frames, ArtworkPainter artwork)
    : frames_(frames ? std::move(frames) : FrameSource([](const QString& path, QSize maxSize) {
          return VideoSnapshot::firstFrame(path, maxSize);
      })),
      artwork_(artwork ? std::move(artwork) : ArtworkPainter(&CITPThumbnailMaker::drawnArtwork))
{
}

CITPThumbnailMaker::Result CITPThumbnailMaker::make(const MediaTrack& track) const
{
    const QSize bounds(maxSide, maxSide);
    if (!track.url.isLocalFile())
        return {{}, QStringLiteral("Not a local file: ") + track.url.toString()};
    const QString path = track.url.toLocalFile();
    const VideoSnapshot snapshot = frames_(path, bounds);
    QImage picture = snapshot.image;
    if (picture.isNull()) {
        if (!isAudioFile(path))
            return {{}, snapshot.error.isEmpty() ? QStringLiteral("No picture in ") + path : snapshot.error};
        picture = artwork_(track, bounds);
        if (picture.isNull())
            return {{}, QStringLiteral("No picture for the audio track ") + track.name};
    }
    // Whatever the source gave, the console gets no more than the bounds.
    if (picture.width() > maxSide || picture.height() > maxSide)
        picture = picture.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray jpeg = encodeJpeg(picture);
    if (jpeg.isEmpty())
        return {{}, QStringLiteral("JPEG encoding failed")};
    return {jpeg, {}};
}

QImage CITPThumbnailMaker::drawnArtwork(const MediaTrack& track, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(18, 18, 24));
    const int hue = static_cast<int>(qHash(track.name) % 360);
    const QColor colour = QColor::fromHsv(hue, 200, 240);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    const double radius = std::min(size.width(), size.height()) / 2.0;
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0.0, colour);
    glow.setColorAt(1.0, QColor(18, 18, 24));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius * 0.35, radius * 0.35);
    painter.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= 3; ++ring) {
        QColor stroke = colour;
        stroke.setAlphaF(1.0 - ring * 0.25);
        painter.setPen(QPen(stroke, radius * 0.08));
        const double r = radius * (0.35 + ring * 0.18);
        painter.drawEllipse(centre, r, r);
    }
    return image;
}

QByteArray CITPThumbnailMaker::encodeJpeg(const QImage& image)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", jpegQuality))
        return {};
    return jpeg;
}

} // namespace orvelo
