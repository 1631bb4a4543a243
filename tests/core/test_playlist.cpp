// Protects playlist editing (order, offsets at hour steps, repeat counts, ignored bad indices),
// that every edit is on disk when it returns, and playlist files: round trip and safe saving.
#include "PlaylistTestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

class PlaylistTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { userStore(); }
    void SetUp() override { clearUserStore(); }

    template <typename T>
    QList<T> column(T MediaTrack::*field) const
    {
        QList<T> result;
        for (const MediaTrack& track : playlist.playlist())
            result << track.*field;
        return result;
    }
    QStringList names() const { return column(&MediaTrack::name); }
    QList<double> offsets() const { return column(&MediaTrack::timecodeOffset); }

    void addFiles(const QStringList& files)
    {
        QList<QUrl> urls;
        for (const QString& name : files)
            urls << media.file(name);
        playlist.addTracks(urls);
    }

    // What the next run would restore.
    std::optional<QList<MediaTrack>> storedPlaylist() const
    {
        const QVariant value = storedOnDisk(Playlist::lastPlaylistKey);
        if (value.typeId() != QMetaType::QByteArray)
            return std::nullopt;
        return TrackListCodec::decode(value.toByteArray());
    }

    MediaFolder media;
    Playlist playlist;
};

} // namespace

TEST_F(PlaylistTest, AddingFilesNumbersTheHoursAndSkipsWhatCannotBeRead)
{
    ChangeCounter changed(playlist);
    QDir().mkpath(media.path("folder.mov"));
    playlist.addTracks({media.file("a.mov"), QUrl::fromLocalFile(media.path("missing.mov")),
                        QUrl::fromLocalFile(media.path("folder.mov")), QUrl("http://example.invalid/c.mov"),
                        media.file("b c é.wav"), media.file("d.mp3")});

    EXPECT_EQ(names(), (QStringList{"a.mov", "b c é.wav", "d.mp3"}));
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 7200}));
    EXPECT_NE(playlist.playlist()[0].id, playlist.playlist()[1].id);
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(storedPlaylist(), playlist.playlist());

    playlist.removeTracks({0, 7, -1});
    EXPECT_EQ(names(), (QStringList{"b c é.wav", "d.mp3"}));
    EXPECT_EQ(offsets(), (QList<double>{0, 3600}));
    EXPECT_EQ(storedPlaylist(), playlist.playlist());
    ASSERT_TRUE(storedOnDisk(Playlist::lastPlaylistBookmarksKey).isValid());

    // Emptied, nothing of it is left for the next run.
    playlist.removeTracks({0, 1});
    EXPECT_FALSE(storedOnDisk(Playlist::lastPlaylistKey).isValid());
    EXPECT_FALSE(storedOnDisk(Playlist::lastPlaylistBookmarksKey).isValid());
    Playlist nextRun;
    nextRun.loadLastPlaylist();
    EXPECT_TRUE(nextRun.playlist().isEmpty());
}

TEST_F(PlaylistTest, MovingKeepsRelativeOrderAndRenumbers)
{
    addFiles({"a", "b", "c", "d", "e"});
    playlist.moveTracks({4}, 0);
    EXPECT_EQ(names(), (QStringList{"e", "a", "b", "c", "d"}));
    playlist.moveTracks({0, 2}, 5);
    EXPECT_EQ(names(), (QStringList{"a", "c", "d", "e", "b"}));
    playlist.moveTracks({1, 3, 4}, 1);
    EXPECT_EQ(names(), (QStringList{"a", "c", "e", "b", "d"}));
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 7200, 10800, 14400}));
    EXPECT_EQ(storedPlaylist(), playlist.playlist());

    // Moves past either end, or from an index outside the list, are ignored.
    ChangeCounter changed(playlist);
    playlist.moveTracks({0}, 6);
    playlist.moveTracks({0}, -1);
    playlist.moveTracks({9}, 0);
    playlist.moveTrackUp(0);
    playlist.moveTrackUp(5);
    playlist.moveTrackDown(4);
    playlist.moveTrackDown(-1);
    EXPECT_EQ(changed.count(), 0);

    playlist.moveTrackUp(4);
    playlist.moveTrackDown(0);
    EXPECT_EQ(names(), (QStringList{"c", "a", "e", "d", "b"}));
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 7200, 10800, 14400}));
}

TEST_F(PlaylistTest, RepeatCountChangesOneEntryOnly)
{
    addFiles({"a", "b"});
    QList<MediaTrack> expected = playlist.playlist();
    expected[1].repeatCount = 0;
    playlist.setRepeatCount(1, 0);
    EXPECT_EQ(playlist.playlist(), expected);
    EXPECT_EQ(storedPlaylist(), expected);

    ChangeCounter ignored(playlist);
    playlist.setRepeatCount(2, 3);
    playlist.setRepeatCount(-1, 3);
    EXPECT_EQ(ignored.count(), 0);
}

TEST_F(PlaylistTest, AssignedOffsetsAreRenumberedOnRequest)
{
    addFiles({"a", "b", "c"});
    QList<MediaTrack> shuffled = playlist.playlist();
    shuffled[0].timecodeOffset = 99;
    shuffled[2].timecodeOffset = 1.5;
    ChangeCounter changed(playlist);
    playlist.setPlaylist(shuffled);
    EXPECT_EQ(offsets(), (QList<double>{99, 3600, 1.5}));
    EXPECT_EQ(storedPlaylist(), shuffled);
    playlist.recalculateOffsets();
    EXPECT_EQ(offsets(), (QList<double>{0, 3600, 7200}));
    EXPECT_EQ(changed.count(), 2);
}

TEST(MediaTrack, FormattedOffsetDoesNotWrapHours)
{
    MediaTrack track;
    track.timecodeOffset = 7261.5;
    EXPECT_EQ(track.formattedOffset(30), "02:01:01:15");
    track.timecodeOffset = 90000;
    EXPECT_EQ(track.formattedOffset(25), "25:00:00:00");
    track.timecodeOffset = 1e300;
    EXPECT_FALSE(track.formattedOffset(25).isEmpty());
}

TEST_F(PlaylistTest, SavedFileLoadsBackAsEqualTracks)
{
    addFiles({"a b.mov", "ü.wav", "c.mp3"});
    playlist.setRepeatCount(1, 0);
    const QList<MediaTrack> saved = playlist.playlist();
    const QUrl file = QUrl::fromLocalFile(media.path("my show.json"));

    LogCapture log;
    ASSERT_TRUE(playlist.savePlaylist(file));
    EXPECT_TRUE(log.contains("Playlist saved to " + file.toEncoded().toStdString()));

    // The media are gone by the time the file is loaded: loading does not check them.
    for (const char* name : {"a b.mov", "ü.wav", "c.mp3"})
        QFile::remove(media.path(name));
    playlist.setPlaylist({});
    playlist.loadPlaylist(file);
    EXPECT_EQ(playlist.playlist(), saved);
    EXPECT_TRUE(log.contains("Loaded 3 tracks from playlist"));
    EXPECT_EQ(storedPlaylist(), saved);
}

TEST_F(PlaylistTest, BadPlaylistFileChangesNothing)
{
    addFiles({"a", "b"});
    const QList<MediaTrack> before = playlist.playlist();
    const QByteArray storeBefore = storeFileBytes();

    const QUrl lacksRepeatCount = media.file("lacks.json", encodedWithout(before, "repeatCount"));
    const QUrl notJson = media.file("garbage.json", "\x89PNG\r\n");
    const QUrl anObject = media.file("object.json", "{\"tracks\":[]}");
    QDir().mkpath(media.path("folder.json"));

    LogCapture log;
    for (const QUrl& file : {lacksRepeatCount, notJson, anObject, QUrl::fromLocalFile(media.path("missing.json")),
                             QUrl::fromLocalFile(media.path("folder.json"))}) {
        playlist.loadPlaylist(file);
        EXPECT_EQ(playlist.playlist(), before) << file.toString().toStdString();
    }
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 5u);
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("Failed to load playlist: ", 0), 0u) << line;
    EXPECT_NE(lines[0].find("repeatCount"), std::string::npos) << lines[0];
    EXPECT_EQ(storeFileBytes(), storeBefore);
}

TEST_F(PlaylistTest, FailedSaveLeavesTheOldFileWholeAndSaysSo)
{
    addFiles({"a"});
    const QUrl file = QUrl::fromLocalFile(media.path("show.json"));
    ASSERT_TRUE(playlist.savePlaylist(file));
    const QByteArray oldContent = fileBytes(file.toLocalFile());

    // A playlist far larger than the file-size limit set below: the write fails part-way,
    // as on a full disk.
    QList<QUrl> many;
    for (int i = 0; i < 400; ++i)
        many << media.file(QStringLiteral("clip %1 with a long name.mov").arg(i));
    playlist.addTracks(many);

    LogCapture log;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = playlist.savePlaylist(file);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Failed to save playlist: ", 0), 0u) << log.lines()[0];
    EXPECT_EQ(fileBytes(file.toLocalFile()), oldContent);
    EXPECT_EQ(QDir(media.path("")).entryList({"show.json*", "*.tmp"}, QDir::Files | QDir::Hidden),
              QStringList{"show.json"});

    // Over a directory, into a missing folder, or not a local file: refused the same way.
    QDir().mkpath(media.path("taken.json"));
    log.clear();
    for (const QUrl& bad : {QUrl::fromLocalFile(media.path("taken.json")),
                            QUrl::fromLocalFile(media.path("nowhere/show.json")), QUrl("http://example.invalid/s.json")})
        EXPECT_FALSE(playlist.savePlaylist(bad)) << bad.toString().toStdString();
    ASSERT_EQ(log.lines().size(), 3u);
    for (const std::string& line : log.lines())
        EXPECT_EQ(line.rfind("Failed to save playlist: ", 0), 0u) << line;
    EXPECT_TRUE(QFileInfo(media.path("taken.json")).isDir());
}
