// The playlist and its stored forms: edits on disk, safe saves, a restore that keeps every cue in
// place and never rewrites the store, and documents that are read whole or not at all.
#include "core/BookmarkTable.h"
#include "core/Playlist.h"
#include "core/TrackListCodec.h"
#include "platform/FileBookmark.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace orvelo;
using namespace orvelo::test;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* trackId = "6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B";

MediaTrack track(const char* uuid, const QString& path, double offset, int repeatCount)
{
    const QUrl url = QUrl::fromLocalFile(path);
    return MediaTrack{QUuid::fromString(QLatin1String(uuid)), url, url.fileName(), offset, repeatCount};
}

// The store file of this test process (the test main gives each its own folder).
QSettings& userStore()
{
    static QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvelo", "Orvelo");
    return store;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Reads a copy of the store file, so nothing cached in this process can stand in for what
// reached the disk.
QVariant storedOnDisk(const QString& key)
{
    const QString copy = QString::fromStdString(tempDir()) + "/store-copy.conf";
    QFile::remove(copy);
    if (!QFile::copy(userStore().fileName(), copy))
        return {};
    return QSettings(copy, QSettings::IniFormat).value(key);
}

// What the next run would restore.
std::optional<QList<MediaTrack>> storedPlaylist()
{
    const QVariant value = storedOnDisk(Playlist::lastPlaylistKey);
    return value.typeId() == QMetaType::QByteArray ? TrackListCodec::decode(value.toByteArray()) : std::nullopt;
}

// The store file's bytes and time: restoring must leave both alone.
struct StoreSnapshot {
    QByteArray bytes = fileBytes(userStore().fileName());
    QDateTime modified = QFileInfo(userStore().fileName()).lastModified();
    void expectUntouched() const
    {
        EXPECT_EQ(fileBytes(userStore().fileName()), bytes);
        EXPECT_EQ(QFileInfo(userStore().fileName()).lastModified(), modified);
    }
};

class PlaylistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        userStore().clear();
        userStore().sync();
        QObject::connect(&playlist, &Playlist::playlistChanged, [this] { ++changes; });
    }

    QString path(const QString& name) const { return media.filePath(name); }
    QUrl file(const QString& name, const QByteArray& content = "media") const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(content);
        return QUrl::fromLocalFile(path(name));
    }
    void addFiles(Playlist& to, const QStringList& names)
    {
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << file(name);
        to.addTracks(urls);
    }
    template <typename T> QList<T> column(T MediaTrack::*field) const
    {
        QList<T> result;
        for (const MediaTrack& track : playlist.playlist())
            result << track.*field;
        return result;
    }
    QStringList names() const { return column(&MediaTrack::name); }
    QList<double> offsets() const { return column(&MediaTrack::timecodeOffset); }
    void storeRaw(const QString& key, const QVariant& value)
    {
        userStore().setValue(key, value);
        userStore().sync();
    }

    QTemporaryDir media{QString::fromStdString(tempDir()) + "/media-XXXXXX"};
    Playlist playlist;
    int changes = 0;
    LogCapture log;
};

} // namespace

TEST_F(PlaylistTest, AddingFilesNumbersTheHoursAndSkipsWhatCannotBeRead)
{
    playlist.addTracks({file("a.mov"), QUrl::fromLocalFile(path("missing.mov")), QUrl("http://example.invalid/c.mov"),
                        file("b c é.wav"), file("d.mp3")});
    EXPECT_EQ(names(), (QStringList{"a.mov", "b c é.wav", "d.mp3"}));
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 7200}));
    EXPECT_NE(playlist.playlist()[0].id, playlist.playlist()[1].id);

    playlist.removeTracks({0, 7, -1});
    EXPECT_EQ(names(), (QStringList{"b c é.wav", "d.mp3"}));
    EXPECT_EQ(offsets(), (QList<double>{0, 3600}));
    EXPECT_EQ(storedPlaylist(), playlist.playlist());
    EXPECT_EQ(changes, 2);
    ASSERT_TRUE(storedOnDisk(Playlist::lastPlaylistBookmarksKey).isValid());
    // Emptied, nothing of it is left for the next run.
    playlist.removeTracks({0, 1});
    EXPECT_FALSE(storedOnDisk(Playlist::lastPlaylistKey).isValid());
    EXPECT_FALSE(storedOnDisk(Playlist::lastPlaylistBookmarksKey).isValid());
}

TEST_F(PlaylistTest, EditsRenumberTheOffsetsAndBadIndicesAreIgnored)
{
    addFiles(playlist, {"a", "b", "c", "d", "e"});
    playlist.moveTracks({0, 2}, 5);
    playlist.moveTracks({1, 3, 4}, 1);
    EXPECT_EQ(names(), (QStringList{"b", "d", "a", "c", "e"}));
    playlist.moveTrackUp(4);
    playlist.moveTrackDown(0);
    EXPECT_EQ(names(), (QStringList{"d", "b", "a", "e", "c"}));
    // The repeat count changes one entry only.
    QList<MediaTrack> expected = playlist.playlist();
    expected[1].repeatCount = 0;
    playlist.setRepeatCount(1, 0);
    EXPECT_EQ(storedPlaylist(), expected);
    // Moves past either end, or of an index outside the list, and counts for no entry.
    changes = 0;
    playlist.moveTracks({9}, 0);
    for (int i : {6, -1}) {
        playlist.moveTracks({0}, i);
        playlist.setRepeatCount(i, 3);
    }
    for (int i : {0, 5})
        playlist.moveTrackUp(i);
    for (int i : {4, -1})
        playlist.moveTrackDown(i);
    EXPECT_EQ(changes, 0);
    // Offsets assigned by hand stay until renumbered on request.
    expected[2].timecodeOffset = 1.5;
    playlist.setPlaylist(expected);
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 1.5, 10800, 14400}));
    playlist.recalculateOffsets();
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 7200, 10800, 14400}));
}

TEST(MediaTrack, FormattedOffsetDoesNotWrapHours)
{
    MediaTrack track;
    track.timecodeOffset = 90000 + 61.5;
    EXPECT_EQ(track.formattedOffset(30), "25:01:01:15");
    track.timecodeOffset = 1e300;
    EXPECT_FALSE(track.formattedOffset(25).isEmpty());
}

TEST_F(PlaylistTest, SavedFileLoadsBackAsEqualTracksAndABadFileChangesNothing)
{
    addFiles(playlist, {"a b.mov", "ü.wav", "c.mp3"});
    playlist.setRepeatCount(1, 0);
    const QList<MediaTrack> saved = playlist.playlist();
    const QUrl show = QUrl::fromLocalFile(path("my show.json"));
    ASSERT_TRUE(playlist.savePlaylist(show));
    EXPECT_TRUE(log.contains("Playlist saved to " + show.toEncoded().toStdString()));
    // The media are gone by the time the file is loaded: loading does not check them.
    for (const char* name : {"a b.mov", "ü.wav", "c.mp3"})
        QFile::remove(path(name));
    playlist.setPlaylist({});
    playlist.loadPlaylist(show);
    EXPECT_EQ(playlist.playlist(), saved);
    EXPECT_TRUE(log.contains("Loaded 3 tracks from playlist"));
    EXPECT_EQ(storedPlaylist(), saved);

    const QByteArray storeBefore = fileBytes(userStore().fileName());
    log.clear();
    playlist.loadPlaylist(QUrl::fromLocalFile(path("missing.json"))); // a bad document: the view model test's
    EXPECT_EQ(playlist.playlist(), saved);
    EXPECT_EQ(log.lines(),
              Lines{"Failed to load playlist: " + QUrl::fromLocalFile(path("missing.json")).toEncoded().toStdString() +
                    " is not a readable file"});
    EXPECT_EQ(fileBytes(userStore().fileName()), storeBefore);
}

TEST_F(PlaylistTest, FailedSaveLeavesTheOldFileWholeAndSaysSo)
{
    addFiles(playlist, {"a"});
    const QUrl show = QUrl::fromLocalFile(path("show.json"));
    ASSERT_TRUE(playlist.savePlaylist(show));
    const QByteArray oldContent = fileBytes(show.toLocalFile());
    // A playlist far larger than the file-size limit set below: the write fails part-way,
    // as on a full disk.
    QStringList many;
    for (int i = 0; i < 400; ++i)
        many << QStringLiteral("clip %1 with a long name.mov").arg(i);
    addFiles(playlist, many);
    log.clear();
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = playlist.savePlaylist(show);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(fileBytes(show.toLocalFile()), oldContent);
    EXPECT_EQ(QDir(path("")).entryList({"show.json*", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList{"show.json"});
    // Not a local file: refused the same way (an unwritable place is the view model test's).
    EXPECT_FALSE(playlist.savePlaylist(QUrl("http://example.invalid/s.json")));
    ASSERT_EQ(log.lines().size(), 2u);
    for (const std::string& line : log.lines())
        EXPECT_TRUE(line.starts_with("Failed to save playlist: ")) << line;
}

TEST_F(PlaylistTest, RestoredMissingFilesKeepTheirPlacesAndPlayOnceTheyAppear)
{
    Playlist previousRun;
    addFiles(previousRun, {"a.mov", "b.mov", "c d é.mov", "e.mov"});
    const QList<MediaTrack> saved = previousRun.playlist();
    ASSERT_TRUE(QFile::remove(path("b.mov")));
    // Unreadable counts as gone.
    ASSERT_TRUE(QFile::remove(path("e.mov")));
    ASSERT_TRUE(QDir().mkpath(path("e.mov")));
    const StoreSnapshot before;

    Playlist nextRun;
    bool loadingDuringAssignment = false;
    QObject::connect(&nextRun, &Playlist::playlistChanged,
                     [&] { loadingDuringAssignment = nextRun.isLoadingPlaylist(); });
    log.clear();
    nextRun.loadLastPlaylist();
    EXPECT_EQ(nextRun.playlist(), saved);
    const auto notFound = [&](const char* name) {
        return "DMXController: Track not found, keeping its place: " + std::string(name) +
               " (File not found: " + path(name).toStdString() + ")";
    };
    EXPECT_EQ(log.lines(),
              (Lines{notFound("b.mov"), notFound("e.mov"), "DMXController: Loaded 4 tracks from last session"}));
    EXPECT_TRUE(loadingDuringAssignment);
    EXPECT_FALSE(nextRun.isLoadingPlaylist());
    before.expectUntouched();
    EXPECT_EQ(Playlist::problemWith(saved[1]), "File not found: " + path("b.mov"));
    // A drive mounted late: the entry is playable without a restart.
    file("b.mov");
    EXPECT_EQ(Playlist::problemWith(nextRun.playlist()[1]), "");
}

TEST_F(PlaylistTest, RestoreTriesTheBookmarkBeforeTheStoredUrlUnlessTheTableIsBad)
{
    const QUrl moved = file("moved.mov");
    const QUrl present = file("present.mov");
    const QList<MediaTrack> tracks{{QUuid::createUuid(), QUrl::fromLocalFile(path("old place.mov")), "a.mov", 0, 1},
                                   {QUuid::createUuid(), present, "b.mov", 3600, 2}};
    BookmarkTable bookmarks;
    bookmarks.insert(TrackListCodec::idText(tracks[0].id), *FileBookmark::create(moved));
    // A bookmark naming a file that is gone falls back to the stored URL.
    bookmarks.insert(TrackListCodec::idText(tracks[1].id), path("gone.mov").toUtf8());
    storeRaw(Playlist::lastPlaylistKey, *TrackListCodec::encode(tracks));
    storeRaw(Playlist::lastPlaylistBookmarksKey, bookmarks.encode());
    Playlist nextRun;
    nextRun.loadLastPlaylist();
    QList<MediaTrack> expected = tracks;
    expected[0].url = moved;
    EXPECT_EQ(nextRun.playlist(), expected);
    // A malformed table only disables the bookmarks: the first entry keeps its place, missing.
    storeRaw(Playlist::lastPlaylistBookmarksKey, QByteArray("{\"x\":"));
    Playlist withoutBookmarks;
    withoutBookmarks.loadLastPlaylist();
    EXPECT_EQ(withoutBookmarks.playlist(), tracks);
}

TEST_F(PlaylistTest, MalformedLastPlaylistRestoresNothingSilently)
{
    addFiles(playlist, {"a.mov", "b.mov"});
    const QList<MediaTrack> saved = playlist.playlist();
    for (const QVariant& bad :
         {QVariant(QByteArray("not json")), QVariant(QString::fromUtf8(*TrackListCodec::encode(saved)))}) {
        storeRaw(Playlist::lastPlaylistKey, bad); // the second: the right text as the wrong kind
        const StoreSnapshot before;
        Playlist nextRun;
        log.clear();
        nextRun.loadLastPlaylist();
        EXPECT_TRUE(nextRun.playlist().isEmpty()) << bad.toString().toStdString();
        EXPECT_TRUE(log.lines().empty());
        EXPECT_FALSE(nextRun.isLoadingPlaylist());
        before.expectUntouched();
    }
}

// What the restore tests leave out: the bookmark's own view of what names no file.
TEST_F(PlaylistTest, FileBookmarkNamesOnlyAbsoluteLocalFiles)
{
    const QUrl url = file("a b ü #1.mov");
    const auto resolved = FileBookmark::resolve(*FileBookmark::create(url));
    EXPECT_EQ(resolved->url, url);
    QFile::remove(url.toLocalFile());
    EXPECT_FALSE(FileBookmark::create(url));
    EXPECT_FALSE(FileBookmark::create(QUrl("http://example.invalid/a.mov")));
    for (const QByteArray& bad :
         {QByteArray(), QByteArray("relative/a.mov"), QByteArray("/a\0b", 4), QByteArray("/\xff\xfe.mov")})
        EXPECT_FALSE(FileBookmark::resolve(bad)) << bad.toStdString();
}

TEST(TrackListCodec, WritesTheExactTextAndReadsBackAwkwardValuesAndWhatOthersWrote)
{
    EXPECT_EQ(TrackListCodec::encode({track("6f1c2b7a-1d3e-4f50-9a8b-0c1d2e3f4a5b", "/show/my clip é.mov", 0, 1)}),
              QByteArray("[{\"id\":\"6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B\","
                         "\"name\":\"my clip é.mov\",\"repeatCount\":1,\"timecodeOffset\":0,"
                         "\"url\":\"file:///show/my%20clip%20%C3%A9.mov\"}]"));
    QString whyNot;
    EXPECT_EQ(TrackListCodec::encode({track(trackId, "/a.mov", std::nan(""), 1)}, &whyNot), std::nullopt);
    EXPECT_FALSE(whyNot.isEmpty()) << "JSON cannot carry the offset";

    const QList<MediaTrack> tracks{
        track("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", "/show/Größe über alles/日本語 #1?.wav", 3600.5, 0),
        track("a1b2c3d4-e5f6-4711-8899-aabbccddee00", "/show/100% loud;,[x].mp3", 1e9 + 0.25, 2147483647),
    };
    EXPECT_EQ(TrackListCodec::decode(*TrackListCodec::encode(tracks)), tracks);
    const QByteArray foreign = R"([ {"repeatCount": 3, "name": "a b.mov", "extra": true,
        "url": "file:///show/a%20b.mov", "timecodeOffset": 7200.0,
        "id": "6f1c2b7a-1d3e-4f50-9a8b-0c1d2e3f4a5b"} ])";
    EXPECT_EQ(TrackListCodec::decode(foreign), QList<MediaTrack>{track(trackId, "/show/a b.mov", 7200, 3)});
}

TEST(TrackListCodec, OneBadTrackOrADocumentThatIsNoTrackArrayFailsWhole)
{
    const QJsonObject good{{"id", trackId},
                           {"url", "file:///show/clip.mov"},
                           {"name", "clip.mov"},
                           {"timecodeOffset", 3600},
                           {"repeatCount", 1}};
    const auto decodeWithLast = [&](const QJsonObject& last, QString* whyNot = nullptr) {
        return TrackListCodec::decode(QJsonDocument(QJsonArray{good, last}).toJson(), whyNot);
    };
    for (const char* key : {"id", "url", "name", "timecodeOffset", "repeatCount"}) {
        QJsonObject incomplete = good;
        incomplete.remove(key);
        QString whyNot;
        EXPECT_EQ(decodeWithLast(incomplete, &whyNot), std::nullopt) << "without " << key;
        EXPECT_TRUE(whyNot.contains(key)) << whyNot.toStdString();
    }
    for (const auto& [key, value] : std::initializer_list<std::pair<const char*, QJsonValue>>{
             {"id", "not-a-uuid"}, {"url", ""}, {"repeatCount", 1.5}, {"repeatCount", 1e12}}) {
        QJsonObject object = good;
        object.insert(key, value);
        EXPECT_EQ(decodeWithLast(object), std::nullopt) << key;
    }

    for (const QByteArray& json :
         {QByteArray("not json"), QByteArray("{\"id\":1}"), QByteArray("[1,2]"), QByteArray(4000, '[')}) {
        QString whyNot;
        EXPECT_EQ(TrackListCodec::decode(json, &whyNot), std::nullopt) << json.left(40).toStdString();
        EXPECT_FALSE(whyNot.isEmpty());
    }
}

TEST(BookmarkTable, RoundTripsArbitraryBytesAsBase64StringsAndFailsWholeOnAnythingElse)
{
    BookmarkTable table;
    table.insert(trackId, QByteArray("\x00\xff\x10", 3));
    table.insert(trackId, QByteArray("later wins"));
    table.insert("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", QByteArray("/show/a b é.mov"));
    const QByteArray json = table.encode();
    EXPECT_EQ(QJsonDocument::fromJson(json).object().value(trackId).toString(),
              QString::fromLatin1(QByteArray("later wins").toBase64()));
    EXPECT_EQ(BookmarkTable::decode(json), table);

    for (const QByteArray& bad : {QByteArray("[]"), QByteArray("{\"a\":1}"),
                                  QByteArray("{\"a\":\"L3g=\",\"b\":\"***\"}"), QByteArray("{\"a\":")})
        EXPECT_EQ(BookmarkTable::decode(bad), std::nullopt) << bad.toStdString();
}
