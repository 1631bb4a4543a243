#include "platform/FileBookmark.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace orvelo {

std::optional<QByteArray> FileBookmark::create(const QUrl& url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    const QFileInfo info(url.toLocalFile());
    if (!info.exists() || !info.isAbsolute())
        return std::nullopt;
    return info.absoluteFilePath().toUtf8();
}

std::optional<FileBookmark::Resolved> FileBookmark::resolve(const QByteArray& bookmark)
{
    if (bookmark.isEmpty() || bookmark.contains('\0'))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString path = decoder(bookmark);
    if (decoder.hasError() || !QDir::isAbsolutePath(path))
        return std::nullopt;
    return Resolved{QUrl::fromLocalFile(path), false};
}

bool FileBookmark::startAccessing(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    const QFileInfo info(url.toLocalFile());
    return info.isFile() && info.isReadable();
}

bool FileBookmark::fileExists(const QUrl& url)
{
    return url.isLocalFile() && QFileInfo::exists(url.toLocalFile());
}

} // namespace orvelo
