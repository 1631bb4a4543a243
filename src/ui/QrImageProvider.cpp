#include "ui/QrImageProvider.h"

#include "ui/QrCodeImage.h"

#include <QUrl>

namespace orvelo {

QrImageProvider::QrImageProvider() : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QImage QrImageProvider::requestImage(const QString& id, QSize* size, const QSize&)
{
    const QImage image = makeQrCodeImage(QUrl::fromPercentEncoding(id.toUtf8()));
    if (size)
        *size = image.size();
    return image;
}

} // namespace orvelo
