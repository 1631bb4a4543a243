#include "ui/QrCodeImage.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

namespace orvelo {

QImage makeQrCodeImage(const QString& text, int scale)
{
    const QByteArray bytes = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M),
                                                         &QRcode_free);
    if (!code || scale < 1)
        return {};
    constexpr int quiet = 4;
    const int modules = code->width + 2 * quiet;
    QImage image(modules * scale, modules * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + quiet) * scale, (y + quiet) * scale, scale, scale, Qt::black);
    return image;
}

} // namespace orvelo
