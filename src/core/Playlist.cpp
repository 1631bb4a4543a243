#include "core/Playlist.h"

#include "core/BookmarkTable.h"
#include "core/TrackListCodec.h"
#include "platform/FileBookmark.h"
#include "platform/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace orvelo {

namespace {

QList<MediaTrack> withRecalculatedOffsets(QList<MediaTrack> tracks)
{
    for (qsizetype i = 0; i < tracks.size(); ++i)
        tracks[i].timecodeOffset = static_cast<double>(i) * 3600.0;
    return tracks;
}

QString urlText(const QUrl& url)
{
    return QString::fromUtf8(url.toEncoded());
}

void log(const QString& line)
{
    logLine(line.toStdString());
}

} // namespace

Playlist::Playlist(QObject* parent) : QObject(parent)
{
    // A drive mounted late, or a file deleted under the show: the views follow within seconds.
    fileCheck_.setInterval(2000);
    connect(&fileCheck_, &QTimer::timeout, this, &Playlist::checkFiles);
    fileCheck_.start();
}

void Playlist::setPlaylist(QList<MediaTrack> tracks)
{
    playlist_ = std::move(tracks);
    missing_.clear();
    for (const MediaTrack& track : playlist_)
        if (!problemWith(track).isEmpty())
            missing_.insert(track.id);
    ++revision_;
    emit playlistChanged();
    saveLastPlaylist();
}

std::optional<int> Playlist::indexOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < playlist_.size(); ++i)
        if (playlist_[i].id == id)
            return static_cast<int>(i);
    return std::nullopt;
}

void Playlist::checkFiles()
{
    QSet<QUuid> missing;
    for (const MediaTrack& track : playlist_)
        if (!problemWith(track).isEmpty())
            missing.insert(track.id);
    if (missing == missing_)
        return;
    missing_ = std::move(missing);
    ++revision_;
    emit playlistChanged();
}

QString Playlist::problemWith(const MediaTrack& track)
{
    const QString path = track.url.isLocalFile() ? track.url.toLocalFile() : track.url.toString();
    return track.url.isLocalFile() && QFileInfo(path).isFile() ? QString() : QStringLiteral("File not found: ") + path;
}

void Playlist::addTracks(const QList<QUrl>& urls)
{
    QList<MediaTrack> tracks = playlist_;
    for (const QUrl& url : urls) {
        if (!FileBookmark::startAccessing(url))
            continue;
        tracks.append(MediaTrack{QUuid::createUuid(), url, url.fileName(), 0.0, 1});
    }
    setPlaylist(withRecalculatedOffsets(std::move(tracks)));
}

void Playlist::removeTracks(const QSet<int>& indices)
{
    QList<MediaTrack> kept;
    kept.reserve(playlist_.size());
    for (qsizetype i = 0; i < playlist_.size(); ++i)
        if (!indices.contains(static_cast<int>(i)))
            kept.append(playlist_[i]);
    if (kept.size() == playlist_.size())
        return;
    setPlaylist(withRecalculatedOffsets(std::move(kept)));
}

void Playlist::moveTracks(const QSet<int>& sources, int destination)
{
    if (destination < 0 || destination > playlist_.size())
        return;
    QList<MediaTrack> moved;
    QList<MediaTrack> before; // entries that stay and end up ahead of the moved block
    QList<MediaTrack> after;
    for (qsizetype i = 0; i < playlist_.size(); ++i) {
        if (sources.contains(static_cast<int>(i)))
            moved.append(playlist_[i]);
        else if (i < destination)
            before.append(playlist_[i]);
        else
            after.append(playlist_[i]);
    }
    if (moved.isEmpty())
        return;
    setPlaylist(withRecalculatedOffsets(before + moved + after));
}

void Playlist::moveTrackUp(int index)
{
    if (index > 0 && index < playlist_.size())
        moveTracks({index}, index - 1);
}

void Playlist::moveTrackDown(int index)
{
    if (index >= 0 && index < playlist_.size() - 1)
        moveTracks({index}, index + 2);
}

void Playlist::setRepeatCount(int index, int count)
{
    if (index < 0 || index >= playlist_.size())
        return;
    QList<MediaTrack> tracks = playlist_;
    tracks[index].repeatCount = count;
    setPlaylist(std::move(tracks));
}

void Playlist::recalculateOffsets()
{
    setPlaylist(withRecalculatedOffsets(playlist_));
}

void Playlist::loadPlaylist(const QUrl& file)
{
    // On Linux "access" is readability, so a refused file is a failed read and is reported.
    if (!FileBookmark::startAccessing(file)) {
        log("Failed to load playlist: " + urlText(file) + " is not a readable file");
        return;
    }
    QFile input(file.toLocalFile());
    if (!input.open(QIODevice::ReadOnly)) {
        log("Failed to load playlist: " + input.errorString());
        return;
    }
    const QByteArray json = input.readAll();
    if (input.error() != QFileDevice::NoError) {
        log("Failed to load playlist: " + input.errorString());
        return;
    }
    QString whyNot;
    auto tracks = TrackListCodec::decode(json, &whyNot);
    if (!tracks) {
        log("Failed to load playlist: " + whyNot);
        return;
    }
    const qsizetype count = tracks->size();
    setPlaylist(std::move(*tracks));
    log(QStringLiteral("Loaded %1 tracks from playlist").arg(count));
}

bool Playlist::savePlaylist(const QUrl& file) const
{
    QString whyNot;
    const auto json = TrackListCodec::encode(playlist_, &whyNot);
    if (!json) {
        log("Failed to save playlist: " + whyNot);
        return false;
    }
    if (!file.isLocalFile()) {
        log("Failed to save playlist: " + urlText(file) + " is not a local file");
        return false;
    }
    // The track list goes to a temporary file beside the target, which replaces the old file
    // only once it is complete: a crash or a full disk mid-write leaves the old playlist whole.
    QSaveFile output(file.toLocalFile());
    if (!output.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        log("Failed to save playlist: " + output.errorString());
        return false;
    }
    errno = 0;
    if (output.write(*json) != json->size()) {
        // A short write (disk full, file too large) leaves no error text in the file object.
        const int cause = errno;
        log("Failed to save playlist: " +
            (cause != 0 ? QString::fromLocal8Bit(std::strerror(cause)) : output.errorString()));
        return false;
    }
    if (!output.commit()) {
        log("Failed to save playlist: " + output.errorString());
        return false;
    }
    log("Playlist saved to " + urlText(file));
    return true;
}

void Playlist::saveLastPlaylist()
{
    if (isLoadingPlaylist_)
        return;
    if (playlist_.isEmpty()) {
        store_.remove(lastPlaylistKey);
        store_.remove(lastPlaylistBookmarksKey);
        store_.sync();
        return;
    }
    const auto json = TrackListCodec::encode(playlist_);
    if (!json)
        return;
    store_.setBytes(lastPlaylistKey, *json);

    BookmarkTable bookmarks;
    for (const MediaTrack& track : playlist_)
        if (const auto bookmark = FileBookmark::create(track.url))
            bookmarks.insert(TrackListCodec::idText(track.id), *bookmark);
    store_.setBytes(lastPlaylistBookmarksKey, bookmarks.encode());
    store_.sync();
}

void Playlist::loadLastPlaylist()
{
    isLoadingPlaylist_ = true;
    const auto stored = store_.bytes(lastPlaylistKey);
    const auto tracks = stored ? TrackListCodec::decode(*stored) : std::nullopt;
    if (tracks) {
        const auto storedTable = store_.bytes(lastPlaylistBookmarksKey);
        const BookmarkTable bookmarks =
            storedTable ? BookmarkTable::decode(*storedTable).value_or(BookmarkTable{}) : BookmarkTable{};

        QList<MediaTrack> kept;
        kept.reserve(tracks->size());
        for (const MediaTrack& track : *tracks) {
            std::optional<QUrl> usable;
            if (const auto bookmark = bookmarks.find(TrackListCodec::idText(track.id)))
                if (const auto resolved = FileBookmark::resolve(*bookmark))
                    if (FileBookmark::startAccessing(resolved->url) && FileBookmark::fileExists(resolved->url))
                        usable = resolved->url;
            if (!usable && FileBookmark::fileExists(track.url) && FileBookmark::startAccessing(track.url))
                usable = track.url;
            MediaTrack restored = track;
            if (usable)
                restored.url = *usable;
            else
                log("DMXController: Track not found, keeping its place: " + track.name + " (" + problemWith(track) +
                    ")");
            kept.append(std::move(restored));
        }
        if (!kept.isEmpty()) {
            const qsizetype count = kept.size();
            setPlaylist(std::move(kept));
            log(QStringLiteral("DMXController: Loaded %1 tracks from last session").arg(count));
        }
    }
    isLoadingPlaylist_ = false;
}

} // namespace orvelo
