// Protects the start-up restore of the last playlist: entries whose files vanished keep their
// places (so no later cue shifts) and play once the file is back, bookmarks win over stored
// URLs, bad settings restore nothing, and restoring never rewrites the store.
#include "PlaylistTestSupport.h"

#include "core/BookmarkTable.h"
#include "platform/FileBookmark.h"

#include <QDir>
#include <QFileInfo>

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

TEST_F(PlaylistRestoreTest, MissingFilesKeepTheirPlacesAndPlayOnceTheyAppear)
{
    const QList<MediaTrack> saved = saveSession({"a.mov", "b.mov", "c d é.mov", "e.mov"});
    ASSERT_TRUE(QFile::remove(media.path("b.mov")));
    // Unreadable counts as gone.
    ASSERT_TRUE(QFile::remove(media.path("e.mov")));
    ASSERT_TRUE(QDir().mkpath(media.path("e.mov")));
    const StoreSnapshot before;

    Playlist nextRun;
    bool loadingDuringAssignment = false;
    QObject::connect(&nextRun, &Playlist::playlistChanged, &nextRun,
                     [&] { loadingDuringAssignment = nextRun.isLoadingPlaylist(); });
    LogCapture log;
    nextRun.loadLastPlaylist();

    EXPECT_EQ(nextRun.playlist(), saved);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "DMXController: Track not found, keeping its place: b.mov (File not found: " +
                      media.path("b.mov").toStdString() + ")",
                  "DMXController: Track not found, keeping its place: e.mov (File not found: " +
                      media.path("e.mov").toStdString() + ")",
                  "DMXController: Loaded 4 tracks from last session"}));
    EXPECT_TRUE(loadingDuringAssignment);
    EXPECT_FALSE(nextRun.isLoadingPlaylist());
    expectUntouched(before);
    EXPECT_EQ(Playlist::problemWith(saved[1]), "File not found: " + media.path("b.mov"));
    EXPECT_EQ(Playlist::problemWith(saved[0]), "");

    // A drive mounted late: the entry is playable without a restart.
    media.file("b.mov");
    EXPECT_EQ(Playlist::problemWith(nextRun.playlist()[1]), "");

    // Even with every file gone, the list keeps its shape.
    for (const char* name : {"a.mov", "b.mov", "c d é.mov"})
        ASSERT_TRUE(QFile::remove(media.path(name)));
    Playlist allGone;
    allGone.loadLastPlaylist();
    EXPECT_EQ(allGone.playlist(), saved);
}

TEST_F(PlaylistRestoreTest, BookmarkIsTriedBeforeTheStoredUrlUnlessTheTableIsBad)
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

    // A malformed table only disables the bookmarks.
    storeRaw(Playlist::lastPlaylistBookmarksKey, QByteArray("{\"x\":"));
    Playlist withoutBookmarks;
    withoutBookmarks.loadLastPlaylist();
    ASSERT_EQ(withoutBookmarks.playlist().size(), 2);
    EXPECT_EQ(withoutBookmarks.playlist()[0].url, tracks[0].url); // kept in place, missing
    EXPECT_EQ(withoutBookmarks.playlist()[1].url, present);
}

TEST_F(PlaylistRestoreTest, MalformedLastPlaylistRestoresNothingSilently)
{
    const QList<MediaTrack> saved = saveSession({"a.mov", "b.mov"});
    const QList<QVariant> badValues{
        QVariant(), // nothing stored: the first run
        QByteArray("not json at all"),
        QByteArray("{\"tracks\":[]}"),
        encodedWithout(saved, "url"),
        QString::fromUtf8(*TrackListCodec::encode(saved)), // right text, wrong kind
        QStringList{"a", "b"},
    };
    for (const QVariant& bad : badValues) {
        if (bad.isValid())
            storeRaw(Playlist::lastPlaylistKey, bad);
        else
            userStore().remove(Playlist::lastPlaylistKey);
        userStore().sync();
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

TEST(FileBookmark, ReopensTheSameFileByPathAndRejectsWhatNamesNoFile)
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

    // What names no file: a remote URL, a folder, paths no local file can have.
    QDir().mkpath(media.path("folder"));
    EXPECT_FALSE(FileBookmark::create(QUrl("http://example.invalid/a.mov")));
    EXPECT_FALSE(FileBookmark::startAccessing(QUrl("http://example.invalid/a.mov")));
    EXPECT_FALSE(FileBookmark::startAccessing(QUrl::fromLocalFile(media.path("folder"))));
    EXPECT_TRUE(FileBookmark::fileExists(QUrl::fromLocalFile(media.path("folder"))));
    for (const QByteArray& bad : {QByteArray(), QByteArray("relative/a.mov"), QByteArray("/a\0b", 4),
                                 QByteArray("/\xff\xfe.mov")})
        EXPECT_FALSE(FileBookmark::resolve(bad)) << bad.toStdString();
}
