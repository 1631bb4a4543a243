#pragma once

#include "core/MediaTrack.h"
#include "platform/SettingsStore.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

namespace orvelo {

// The ordered list of media the console selects by number, its editing operations, and its
// persistence: every assignment is saved at once as the last playlist, which the next run
// restores. Held by the DMX controller. Main thread only.
class Playlist : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<orvelo::MediaTrack> playlist READ playlist WRITE setPlaylist NOTIFY playlistChanged)
public:
    static inline const QString lastPlaylistKey = QStringLiteral("lastPlaylistData");
    static inline const QString lastPlaylistBookmarksKey = QStringLiteral("lastPlaylistBookmarks");

    explicit Playlist(QObject* parent = nullptr);

    const QList<MediaTrack>& playlist() const { return playlist_; }
    // Publishes the list and saves it as the last playlist (an emptied list removes both
    // settings). Every edit below ends here.
    void setPlaylist(QList<MediaTrack> tracks);

    // Appends one track per readable file (a new id, the file name, repeat count 1), skipping
    // the others silently, then renumbers the offsets.
    void addTracks(const QList<QUrl>& urls);
    // Out-of-range indices are ignored; the offsets are renumbered.
    void removeTracks(const QSet<int>& indices);
    // Moves the entries, in their order, to just before the entry that was at `destination`
    // (the length moves them to the end); the offsets are renumbered.
    void moveTracks(const QSet<int>& sources, int destination);
    void moveTrackUp(int index);
    void moveTrackDown(int index);
    void setRepeatCount(int index, int count);
    // Track i starts at hour i of the timecode output.
    void recalculateOffsets();

    // Replaces the playlist by the file's tracks, as they are in the file.
    void loadPlaylist(const QUrl& file);
    // Writes the track list to a temporary file beside `file` and renames it over the old one,
    // so a failed save leaves the old file whole. Returns whether it was saved.
    bool savePlaylist(const QUrl& file) const;

    void saveLastPlaylist();
    // Restores the previous run's playlist from the store, dropping tracks whose files are
    // gone. Writes nothing back. The controller calls it once, when it is constructed.
    void loadLastPlaylist();
    bool isLoadingPlaylist() const { return isLoadingPlaylist_; }

signals:
    void playlistChanged();

private:
    QList<MediaTrack> playlist_;
    bool isLoadingPlaylist_ = false;
    SettingsStore store_;
};

} // namespace orvelo
