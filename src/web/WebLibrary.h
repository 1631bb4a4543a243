#pragma once

#include "web/HttpBodySink.h"
#include "web/HttpResponse.h"
#include "web/MediaLibrary.h"
#include "web/WebServices.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace orvelo::WebLibrary {

// The routes that let a browser prepare a player without a screen: the media library, its
// uploads, and playlists built from it and kept in the playlists folder.

// One object per file: name, size, duration (absent when unknown), hasVideo, hasAudio and
// the thumbnail's URL.
QJsonArray mediaDocument(const std::vector<MediaEntry>& entries);

// The saved playlists: one object per JSON file of the folder, name and size, by name.
QJsonArray playlistsDocument(const QString& folder);

// A playlist file name from what a client asked for: one plain name, ".json" added when
// it has another ending. Nothing for a name that is not confined to the folder.
std::optional<QString> playlistFileName(const QString& requested);

// Main thread. Appends the files (already checked to be in the library) and says how many.
HttpResponse addTracks(const WebServices& services, const QList<QUrl>& files);
// Main thread. Writes the playlist into the folder under the name, replacing a file of it.
HttpResponse savePlaylist(const WebServices& services, const QString& folder, const QString& fileName);
// Main thread. Replaces the playlist by the file's tracks. A file that is no track list
// changes nothing and is answered 400 with the reason; tracks whose media files are missing
// are kept in their places (the console's numbering stays) and named in the answer.
HttpResponse loadPlaylist(const WebServices& services, const QString& folder, const QString& fileName);

struct UploadPolicy {
    QString folder;
    std::int64_t sizeLimit = 0;
    std::int64_t minimumFreeBytes = 0; // left on the disk after the upload
};

// Decides a request head for PUT "/api/media/<name>": any other request is not claimed. The
// name must be a media file name confined to the folder (else 400); the body's length must be
// announced (else 411), within the limit and leave the disk its reserve (else 413); an
// existing file is replaced only with "Overwrite: T" (else 409).
HttpStreamStart openUpload(std::string_view head, const UploadPolicy& policy);

} // namespace orvelo::WebLibrary
