#include "web/WebLibrary.h"

#include "core/TrackListCodec.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "web/HttpRequest.h"
#include "web/HttpRequestFramer.h"
#include "web/MediaPath.h"
#include "web/UploadWriter.h"
#include "web/UrlText.h"
#include "web/WebJson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/statvfs.h>

#include <limits>

namespace orvelo::WebLibrary {

namespace {

constexpr std::string_view mediaPrefix = "/api/media/";
// A track list is a few hundred bytes a track; anything far beyond is not one.
constexpr qint64 maxPlaylistFileBytes = 16 * 1024 * 1024;

HttpResponse jsonAnswer(const QJsonObject& object)
{
    const auto text = webjson::compactText(QJsonDocument(object));
    return text ? HttpResponse::json(*text) : HttpResponse::plainText(500, "Internal Error");
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()))
               .compare(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())), Qt::CaseInsensitive) == 0;
}

std::optional<std::uint64_t> decimal(std::string_view text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<std::uint64_t> freeBytes(const QString& path)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

HttpStreamStart refuse(int status, const std::string& text)
{
    HttpStreamStart start;
    start.claimed = true;
    start.answer = HttpResponse::plainText(status, text);
    return start;
}

} // namespace

QJsonArray mediaDocument(const std::vector<MediaEntry>& entries)
{
    QJsonArray list;
    for (const MediaEntry& entry : entries) {
        QJsonObject object{
            {"name", entry.name},
            {"size", static_cast<double>(entry.size)},
            {"hasVideo", entry.hasVideo},
            {"hasAudio", entry.hasAudio},
            {"thumbnail", QStringLiteral("/api/media/thumbnail/") + UrlText::percentEncodedPath(entry.name)},
            {"playable", entry.playable},
            {"reason", entry.reason},
        };
        if (entry.duration)
            object.insert("duration", *entry.duration);
        list.append(object);
    }
    return list;
}

QJsonArray playlistsDocument(const QString& folder)
{
    QJsonArray list;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files)
        if (MediaPath::existingFile(folder, file.fileName()))
            list.append(QJsonObject{{"name", file.fileName()}, {"size", static_cast<double>(file.size())}});
    return list;
}

std::optional<QString> playlistFileName(const QString& requested)
{
    if (requested.contains(QLatin1Char('/')) || !MediaPath::checked(requested))
        return std::nullopt;
    if (requested.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return requested;
    return requested + QStringLiteral(".json");
}

HttpResponse addTracks(const WebServices& services, const QList<QUrl>& files)
{
    assertMainThread();
    DMXController* controller = services.dmxController.data();
    if (!controller)
        return HttpResponse::plainText(500, "Internal Error");
    const qsizetype before = controller->playlist().playlist().size();
    controller->playlist().addTracks(files);
    const qsizetype added = controller->playlist().playlist().size() - before;
    return jsonAnswer({{"status", "ok"}, {"added", static_cast<double>(added)}});
}

HttpResponse savePlaylist(const WebServices& services, const QString& folder, const QString& fileName)
{
    assertMainThread();
    DMXController* controller = services.dmxController.data();
    if (!controller)
        return HttpResponse::plainText(500, "Internal Error");
    const auto target = MediaPath::writeTarget(folder, fileName);
    if (!target)
        return HttpResponse::plainText(400, "Invalid name: " + fileName.toStdString());
    if (!controller->playlist().savePlaylist(QUrl::fromLocalFile(target->path)))
        return HttpResponse::plainText(500, "Failed to save playlist");
    return jsonAnswer({{"status", "ok"}, {"name", fileName}});
}

HttpResponse loadPlaylist(const WebServices& services, const QString& folder, const QString& fileName)
{
    assertMainThread();
    DMXController* controller = services.dmxController.data();
    if (!controller)
        return HttpResponse::plainText(500, "Internal Error");
    const auto path = MediaPath::existingFile(folder, fileName);
    if (!path)
        return HttpResponse::plainText(404, "Playlist not found: " + fileName.toStdString());
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return HttpResponse::plainText(400, "Invalid playlist: " + file.errorString().toStdString());
    if (file.size() > maxPlaylistFileBytes)
        return HttpResponse::plainText(400, "Invalid playlist: the file is too large for a track list");
    const QByteArray json = file.readAll();
    QString whyNot;
    auto tracks = TrackListCodec::decode(json, &whyNot);
    if (!tracks) {
        logLine("Failed to load playlist: " + whyNot.toStdString());
        return HttpResponse::plainText(400, "Invalid playlist: " + whyNot.toStdString());
    }
    QJsonArray missing;
    for (const MediaTrack& track : *tracks) {
        if (!track.url.isLocalFile() || !QFileInfo(track.url.toLocalFile()).isFile()) {
            logLine("WebServer: Track not found: " + track.name.toStdString());
            missing.append(track.name);
        }
    }
    const qsizetype count = tracks->size();
    controller->playlist().setPlaylist(std::move(*tracks));
    logLine("Loaded " + std::to_string(count) + " tracks from playlist");
    return jsonAnswer({{"status", "ok"}, {"tracks", static_cast<double>(count)}, {"missing", missing}});
}

HttpStreamStart openUpload(std::string_view head, const UploadPolicy& policy)
{
    if (!isValidUtf8(head))
        return {};
    const std::string_view requestLine = head.substr(0, head.find("\r\n"));
    const std::size_t space = requestLine.find(' ');
    if (space == std::string_view::npos || requestLine.substr(0, space) != "PUT")
        return {};
    std::string_view path = requestLine.substr(space + 1);
    path = path.substr(0, path.find(' '));
    if (!path.starts_with(mediaPrefix))
        return {};
    logLine("WebServer: PUT " + printableForLog(path));

    const auto name = MediaPath::fromUrlPath(path.substr(mediaPrefix.size()));
    if (!name)
        return refuse(400, "Invalid name");
    if (!MediaLibrary::isMediaName(*name))
        return refuse(400, "Not a media file name: " + name->toStdString());
    if (headerValue(head, "Transfer-Encoding"))
        return refuse(411, "Length Required");
    const auto lengthText = headerValue(head, "Content-Length");
    const auto length = lengthText ? decimal(*lengthText) : std::nullopt;
    if (!length)
        return refuse(411, "Length Required");
    if (*length > static_cast<std::uint64_t>(std::max<std::int64_t>(policy.sizeLimit, 0)))
        return refuse(413,
                      "The file is larger than the upload limit of " + std::to_string(policy.sizeLimit) + " bytes");
    const auto overwriteText = headerValue(head, "Overwrite");
    const bool overwrite = overwriteText && equalsIgnoringCase(*overwriteText, "T");

    const auto target = MediaPath::writeTarget(policy.folder, *name);
    if (!target)
        return refuse(400, "Invalid name");
    if (target->exists && !overwrite)
        return refuse(409, "File exists: " + name->toStdString());
    const auto available = freeBytes(QFileInfo(target->path).absolutePath());
    const auto reserve = static_cast<std::uint64_t>(std::max<std::int64_t>(policy.minimumFreeBytes, 0));
    if (!available || *available < *length || *available - *length < reserve)
        return refuse(413, "Not enough free disk space for the file");

    auto opened = UploadWriter::open(target->path, *name, *length, overwrite);
    if (auto* answer = std::get_if<HttpResponse>(&opened)) {
        HttpStreamStart start;
        start.claimed = true;
        start.answer = std::move(*answer);
        return start;
    }
    HttpStreamStart start;
    start.claimed = true;
    start.sink = std::move(std::get<std::unique_ptr<UploadWriter>>(opened));
    start.length = *length;
    const auto expect = headerValue(head, "Expect");
    start.expectContinue = expect && equalsIgnoringCase(*expect, "100-continue");
    return start;
}

} // namespace orvelo::WebLibrary
