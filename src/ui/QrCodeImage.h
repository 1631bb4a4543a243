#pragma once

#include <QImage>
#include <QString>

namespace orvelo {

// A QR code of `text` (medium error correction), black modules on white with the standard
// four-module quiet zone, each module `scale` pixels wide. A null image when the text cannot
// be encoded (too long).
QImage makeQrCodeImage(const QString& text, int scale = 10);

} // namespace orvelo
