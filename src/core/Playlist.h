#pragma once

#include "platform/SettingsStore.h"
#include "playback/MediaTrack.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <optional>

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
    // Restores the previous run's playlist from the store. A track whose file is gone keeps
    // its place (so every later cue keeps its number) and shows as missing until the file
    // appears. Writes nothing back. The controller calls it once, when it is constructed.
    void loadLastPlaylist();
    bool isLoadingPlaylist() const { return isLoadingPlaylist_; }

    // Counts every change of the list, so that a client can tell cheaply whether what it
    // shows is current.
    std::uint64_t revision() const { return revision_; }
    // The position of the track with that id; nothing when it is not on the list.
    std::optional<int> indexOf(const QUuid& id) const;
    // Why the track cannot play as it stands ("File not found: ..."); empty when its file is
    // there. Asked afresh each time, so a file that appears is playable at once.
    static QString problemWith(const MediaTrack& track);
    // Looks again at which entries' files are missing (it also runs every two seconds); a
    // change counts as a change of the list for its viewers, without saving anything.
    void checkFiles();

signals:
    void playlistChanged();

private:
    QList<MediaTrack> playlist_;
    bool isLoadingPlaylist_ = false;
    std::uint64_t revision_ = 0;
    QSet<QUuid> missing_;
    QTimer fileCheck_;
    SettingsStore store_;
};

} // namespace orvelo
