// Protects the start-up restore of the last playlist: files that vanished are dropped while the
// rest keep their stored offsets, bookmarks win over stored URLs, bad settings restore nothing,
// and restoring never rewrites the store.
#include "PlaylistTestSupport.h"

#include "core/BookmarkTable.h"
#include "core/Playlist.h"
#include "core/TrackListCodec.h"
#include "platform/FileBookmark.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace orvelo;
using namespace orvelo::test;

namespace {

class PlaylistRestoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { userStore(); }
    void SetUp() override { clearUserStore(); }

    QList<MediaTrack> saveSession(const QStringList& files)
    {
        Playlist previousRun;
        QList<QUrl> urls;
        for (const QString& name : files)
            urls << media.file(name);
        previousRun.addTracks(urls);
        return previousRun.playlist();
    }

    void storeRaw(const QString& key, const QVariant& value)
    {
        userStore().setValue(key, value);
        userStore().sync();
    }

    MediaFolder media;
};

struct StoreSnapshot {
    QByteArray bytes = storeFileBytes();
    QDateTime modified = QFileInfo(userStore().fileName()).lastModified();
};

void expectUntouched(const StoreSnapshot& before)
{
    EXPECT_EQ(storeFileBytes(), before.bytes);
    EXPECT_EQ(QFileInfo(userStore().fileName()).lastModified(), before.modified);
}

} // namespace

TEST_F(PlaylistRestoreTest, DeletedFileIsDroppedAndSurvivorsKeepTheirOffsets)
{
    const QList<MediaTrack> saved = saveSession({"a.mov", "b.mov", "c d é.mov"});
    ASSERT_TRUE(QFile::remove(media.path("b.mov")));
    const StoreSnapshot before;

    Playlist nextRun;
    bool loadingDuringAssignment = false;
    QObject::connect(&nextRun, &Playlist::playlistChanged, &nextRun,
                     [&] { loadingDuringAssignment = nextRun.isLoadingPlaylist(); });
    LogCapture log;
    nextRun.loadLastPlaylist();

    EXPECT_EQ(nextRun.playlist(), (QList<MediaTrack>{saved[0], saved[2]}));
    EXPECT_EQ(nextRun.playlist()[1].timecodeOffset, 7200);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"DMXController: Track not found, skipping: b.mov",
                                                     "DMXController: Loaded 2 tracks from last session"}));
    EXPECT_TRUE(loadingDuringAssignment);
    EXPECT_FALSE(nextRun.isLoadingPlaylist());
    expectUntouched(before);

    // The first edit after the restore is what replaces the stored list.
    nextRun.setRepeatCount(0, 4);
    const auto stored = TrackListCodec::decode(storedOnDisk(Playlist::lastPlaylistKey).toByteArray());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 2);
    EXPECT_EQ(stored->front().repeatCount, 4);
}

TEST_F(PlaylistRestoreTest, TrackWhoseFileBecameUnreadableIsDropped)
{
    saveSession({"a.mov", "b.mov"});
    ASSERT_TRUE(QFile::remove(media.path("a.mov")));
    ASSERT_TRUE(QDir().mkpath(media.path("a.mov")));

    Playlist nextRun;
    LogCapture log;
    nextRun.loadLastPlaylist();
    ASSERT_EQ(nextRun.playlist().size(), 1);
    EXPECT_EQ(nextRun.playlist()[0].name, "b.mov");
    EXPECT_TRUE(log.contains("DMXController: Track not found, skipping: a.mov"));
}

TEST_F(PlaylistRestoreTest, WhenNoTrackSurvivesThePlaylistStaysEmpty)
{
    saveSession({"a.mov", "b.mov"});
    QFile::remove(media.path("a.mov"));
    QFile::remove(media.path("b.mov"));
    const StoreSnapshot before;

    Playlist nextRun;
    ChangeCounter changed(nextRun);
    LogCapture log;
    nextRun.loadLastPlaylist();
    EXPECT_TRUE(nextRun.playlist().isEmpty());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"DMXController: Track not found, skipping: a.mov",
                                                     "DMXController: Track not found, skipping: b.mov"}));
    expectUntouched(before);
}

TEST_F(PlaylistRestoreTest, BookmarkIsTriedBeforeTheStoredUrl)
{
    const QUrl moved = media.file("moved.mov");
    const QUrl present = media.file("present.mov");
    const QList<MediaTrack> tracks{
        {QUuid::createUuid(), QUrl::fromLocalFile(media.path("old place.mov")), "a.mov", 0, 1},
        {QUuid::createUuid(), present, "b.mov", 3600, 2},
    };
    BookmarkTable bookmarks;
    bookmarks.insert(TrackListCodec::idText(tracks[0].id), *FileBookmark::create(moved));
    // A bookmark naming a file that is gone falls back to the stored URL.
    bookmarks.insert(TrackListCodec::idText(tracks[1].id), media.path("gone.mov").toUtf8());
    storeRaw(Playlist::lastPlaylistKey, *TrackListCodec::encode(tracks));
    storeRaw(Playlist::lastPlaylistBookmarksKey, bookmarks.encode());

    Playlist nextRun;
    nextRun.loadLastPlaylist();
    ASSERT_EQ(nextRun.playlist().size(), 2);
    EXPECT_EQ(nextRun.playlist()[0].url, moved);
    EXPECT_EQ(nextRun.playlist()[0].name, "a.mov");
    EXPECT_EQ(nextRun.playlist()[1].url, present);
    EXPECT_EQ(nextRun.playlist()[1].repeatCount, 2);
}

TEST_F(PlaylistRestoreTest, MalformedBookmarkTableOnlyDisablesBookmarks)
{
    const QList<MediaTrack> saved = saveSession({"a.mov", "b.mov"});
    storeRaw(Playlist::lastPlaylistBookmarksKey, QByteArray("{\"x\":"));

    Playlist nextRun;
    nextRun.loadLastPlaylist();
    EXPECT_EQ(nextRun.playlist(), saved);
}

TEST_F(PlaylistRestoreTest, MalformedLastPlaylistRestoresNothingSilently)
{
    const QList<MediaTrack> saved = saveSession({"a.mov", "b.mov"});
    QJsonArray incomplete = QJsonDocument::fromJson(*TrackListCodec::encode(saved)).array();
    QJsonObject second = incomplete[1].toObject();
    second.remove("url");
    incomplete[1] = second;

    const QList<QVariant> badValues{
        QByteArray("not json at all"),
        QByteArray("{\"tracks\":[]}"),
        QJsonDocument(incomplete).toJson(QJsonDocument::Compact),
        QString::fromUtf8(*TrackListCodec::encode(saved)), // right text, wrong kind
        QStringList{"a", "b"},
    };
    for (const QVariant& bad : badValues) {
        storeRaw(Playlist::lastPlaylistKey, bad);
        const StoreSnapshot before;
        Playlist nextRun;
        LogCapture log;
        nextRun.loadLastPlaylist();
        EXPECT_TRUE(nextRun.playlist().isEmpty()) << bad.toString().toStdString();
        EXPECT_TRUE(log.lines().empty());
        EXPECT_FALSE(nextRun.isLoadingPlaylist());
        expectUntouched(before);
    }
}

TEST_F(PlaylistRestoreTest, EmptyStoreRestoresNothing)
{
    Playlist firstRun;
    LogCapture log;
    firstRun.loadLastPlaylist();
    EXPECT_TRUE(firstRun.playlist().isEmpty());
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(QFileInfo::exists(userStore().fileName()) && userStore().contains(Playlist::lastPlaylistKey));
}

TEST(FileBookmark, ReopensTheSameFileByPath)
{
    MediaFolder media;
    const QUrl url = media.file("a b ü #1.mov");
    const auto bookmark = FileBookmark::create(url);
    ASSERT_TRUE(bookmark);
    const auto resolved = FileBookmark::resolve(*bookmark);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->url, url);
    EXPECT_FALSE(resolved->isStale);
    EXPECT_TRUE(FileBookmark::startAccessing(resolved->url));

    // A bookmark still resolves after its file is gone; access then fails.
    QFile::remove(url.toLocalFile());
    ASSERT_TRUE(FileBookmark::resolve(*bookmark));
    EXPECT_FALSE(FileBookmark::startAccessing(url));
    EXPECT_FALSE(FileBookmark::fileExists(url));
    EXPECT_FALSE(FileBookmark::create(url));
}

TEST(FileBookmark, RejectsWhatNamesNoFile)
{
    MediaFolder media;
    QDir().mkpath(media.path("folder"));
    EXPECT_FALSE(FileBookmark::create(QUrl("http://example.invalid/a.mov")));
    EXPECT_FALSE(FileBookmark::startAccessing(QUrl("http://example.invalid/a.mov")));
    EXPECT_FALSE(FileBookmark::startAccessing(QUrl::fromLocalFile(media.path("folder"))));
    EXPECT_TRUE(FileBookmark::fileExists(QUrl::fromLocalFile(media.path("folder"))));
    for (const QByteArray& bad : {QByteArray(), QByteArray("relative/a.mov"), QByteArray("/a\0b", 4),
                                 QByteArray("/\xff\xfe.mov")})
        EXPECT_FALSE(FileBookmark::resolve(bad)) << bad.toStdString();
}
