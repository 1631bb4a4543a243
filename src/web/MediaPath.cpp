#include "web/MediaPath.h"

#include "web/UrlText.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace orvelo::MediaPath {

namespace {

// File systems take 255 bytes a name; an upload's temporary name adds a dot and a suffix.
constexpr qsizetype maxSegmentBytes = 200;

bool validSegment(const QString& segment)
{
    if (segment.isEmpty() || segment.startsWith(QLatin1Char('.')) || segment.toUtf8().size() > maxSegmentBytes)
        return false;
    for (const QChar c : segment)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

QString canonicalFolder(const QString& folder)
{
    return QFileInfo(folder).canonicalFilePath();
}

} // namespace

std::optional<QString> fromUrlPath(std::string_view encoded)
{
    QStringList segments;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = encoded.find('/', start);
        const auto segment =
            UrlText::percentDecoded(encoded.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (!segment || !validSegment(*segment))
            return std::nullopt;
        segments.append(*segment);
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return segments.join(QLatin1Char('/'));
}

std::optional<QString> checked(const QString& name)
{
    const QStringList segments = name.split(QLatin1Char('/'));
    for (const QString& segment : segments)
        if (!validSegment(segment))
            return std::nullopt;
    return name;
}

bool isInside(const QString& folder, const QString& path)
{
    const QString root = canonicalFolder(folder);
    const QString real = QFileInfo(path).canonicalFilePath();
    return !root.isEmpty() && !real.isEmpty() && real.startsWith(root + QLatin1Char('/'));
}

std::optional<QString> existingFile(const QString& folder, const QString& name)
{
    if (!checked(name))
        return std::nullopt;
    const QString path = folder + QLatin1Char('/') + name;
    if (!QFileInfo(path).isFile() || !isInside(folder, path))
        return std::nullopt;
    return path;
}

std::optional<WriteTarget> writeTarget(const QString& folder, const QString& name)
{
    if (!checked(name) || !QDir().mkpath(folder))
        return std::nullopt;
    const QStringList segments = name.split(QLatin1Char('/'));
    QString current = folder;
    for (qsizetype i = 0; i + 1 < segments.size(); ++i) {
        current += QLatin1Char('/') + segments[i];
        const QFileInfo info(current);
        if (info.exists() || info.isSymLink()) {
            // An existing step, possibly a link: it must stay inside and be a folder.
            if (!info.isDir() || !isInside(folder, current))
                return std::nullopt;
        } else if (!QDir().mkdir(current)) {
            return std::nullopt;
        }
    }
    const QString path = folder + QLatin1Char('/') + name;
    const QFileInfo target(path);
    if (target.isSymLink() && !isInside(folder, path))
        return std::nullopt;
    if (target.exists() && !target.isFile())
        return std::nullopt;
    return WriteTarget{path, target.exists() || target.isSymLink()};
}

} // namespace orvelo::MediaPath
