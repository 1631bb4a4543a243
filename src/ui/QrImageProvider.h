#pragma once

#include <QQuickImageProvider>

namespace orvelo {

// "image://qr/<percent-encoded text>": the text's QR code for Image elements.
class QrImageProvider : public QQuickImageProvider {
public:
    QrImageProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace orvelo
