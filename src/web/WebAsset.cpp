#include "web/WebAsset.h"

#include <QCryptographicHash>

namespace orvelo {

WebAsset WebAsset::versioned(std::string_view stem, std::string_view extension, std::string contentType,
                             std::string body)
{
    const QByteArrayView bytes(body.data(), static_cast<qsizetype>(body.size()));
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
    std::string path = "/assets/";
    path.append(stem).append(1, '.').append(digest.constData(), digest.size()).append(1, '.').append(extension);
    return {std::move(path), std::move(contentType), std::move(body), '"' + digest.toStdString() + '"'};
}

HttpResponse WebAsset::response() const
{
    return HttpResponse{200, contentType, body, HttpResponse::Kind::versioned, {}}.withHeader("ETag", etag);
}

} // namespace orvelo
