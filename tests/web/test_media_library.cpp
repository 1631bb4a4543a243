// Protects the media library of the web remote without sockets: names never leave their
// folder, uploads appear whole or not at all, upload heads are judged before any body byte,
// playlist files are loaded only when valid, and the listing shows what discovery found.
#include "WebTestSupport.h"

#include "core/TrackListCodec.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "web/MediaLibrary.h"
#include "web/MediaPath.h"
#include "web/UploadWriter.h"
#include "web/WebLibrary.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

// A media folder beside an outside folder, with links from one into the other.
struct Folders {
    QTemporaryDir root;
    QString media = root.path() + "/media";
    QString outside = root.path() + "/outside";

    Folders()
    {
        writeFile(media + "/clip.mp4", "inside");
        writeFile(media + "/sub/deep.mp4", "deep");
        writeFile(outside + "/secret.mp4", "secret");
        QFile::link(outside + "/secret.mp4", media + "/out.mp4");
        QFile::link(outside, media + "/outdir");
        QFile::link(media + "/clip.mp4", media + "/alias.mp4");
    }
};

std::string head(const std::string& path, const std::string& headers)
{
    return "PUT " + path + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n";
}

} // namespace

TEST(MediaPath, NamesFromUrlsAreConfinedSegmentBySegment)
{
    EXPECT_EQ(MediaPath::fromUrlPath("clip.mp4"), QString("clip.mp4"));
    EXPECT_EQ(MediaPath::fromUrlPath("sub/Caf%C3%A9%20Nuit.mp4"), QString("sub/Café Nuit.mp4"));
    for (const char* refused :
         {"", "/etc/passwd", "../clip.mp4", "a/../b.mp4", "%2E%2E/clip.mp4", "a%2Fb.mp4", "a%2fb.mp4", "a%5Cb.mp4",
          "a\\b.mp4", "a//b.mp4", "./clip.mp4", ".hidden.mp4", "clip%zz.mp4", "clip%00.mp4", "sub/"})
        EXPECT_FALSE(MediaPath::fromUrlPath(refused)) << refused;
    EXPECT_FALSE(MediaPath::checked("../x.mp4"));
    EXPECT_FALSE(MediaPath::checked("/x.mp4"));
    EXPECT_TRUE(MediaPath::checked("sub/x.mp4"));
}

TEST(MediaPath, LinksLeadingOutsideAreRefusedForReadsAndWrites)
{
    Folders f;
    EXPECT_EQ(MediaPath::existingFile(f.media, "clip.mp4"), f.media + "/clip.mp4");
    EXPECT_EQ(MediaPath::existingFile(f.media, "alias.mp4"), f.media + "/alias.mp4") << "a link inside stays usable";
    EXPECT_TRUE(MediaPath::existingFile(f.media, "sub/deep.mp4"));
    EXPECT_FALSE(MediaPath::existingFile(f.media, "out.mp4"));
    EXPECT_FALSE(MediaPath::existingFile(f.media, "outdir/secret.mp4"));
    EXPECT_FALSE(MediaPath::existingFile(f.media, "missing.mp4"));
    EXPECT_FALSE(MediaPath::existingFile(f.media, "sub"));

    const auto fresh = MediaPath::writeTarget(f.media, "new/folder/take.mp4");
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->exists);
    EXPECT_TRUE(QFileInfo(f.media + "/new/folder").isDir());
    const auto existing = MediaPath::writeTarget(f.media, "clip.mp4");
    ASSERT_TRUE(existing);
    EXPECT_TRUE(existing->exists);
    EXPECT_FALSE(MediaPath::writeTarget(f.media, "outdir/new.mp4"));
    EXPECT_FALSE(MediaPath::writeTarget(f.media, "outdir/more/new.mp4"));
    EXPECT_FALSE(QFileInfo(f.outside + "/more").exists()) << "nothing is created outside";
    EXPECT_FALSE(MediaPath::writeTarget(f.media, "out.mp4"));
    EXPECT_FALSE(MediaPath::writeTarget(f.media, "sub"));
}

TEST(UploadWriter, FileAppearsWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/take.mp4";
    const auto open = [&](std::uint64_t length, bool overwrite) {
        return std::get<std::unique_ptr<UploadWriter>>(UploadWriter::open(target, "take.mp4", length, overwrite));
    };

    // Dropped before the end: nothing is left, not even the temporary file.
    auto dropped = open(10, false);
    EXPECT_FALSE(dropped->write("12345"));
    EXPECT_EQ(entriesOf(dir.path()).size(), 1) << "the temporary file exists while writing";
    EXPECT_FALSE(QFileInfo::exists(target));
    dropped.reset();
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());

    auto writer = open(10, false);
    EXPECT_FALSE(writer->write("12345"));
    EXPECT_FALSE(writer->write("67890"));
    // A file of the same name appears while the upload runs: it is kept.
    writeFile(target, "theirs");
    EXPECT_EQ(writer->finish().statusCode, 409);
    EXPECT_EQ(readFile(target), "theirs");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"take.mp4"});

    auto replacer = open(3, true);
    EXPECT_FALSE(replacer->write("new"));
    const HttpResponse done = replacer->finish();
    EXPECT_EQ(done.statusCode, 200);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(done.body)).object()["size"].toInt(), 3);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"take.mp4"});
}

TEST(WebLibrary, UploadHeadsAreJudgedBeforeTheBody)
{
    Folders f;
    const WebLibrary::UploadPolicy policy{f.media, 1000, 0};
    const auto status = [&](const std::string& text, WebLibrary::UploadPolicy p) {
        const HttpStreamStart start = WebLibrary::openUpload(text, p);
        if (!start.claimed)
            return 0;
        return start.answer ? start.answer->statusCode : (start.sink ? 100 : -1);
    };
    EXPECT_EQ(status("GET /api/media HTTP/1.1\r\n\r\n", policy), 0);
    EXPECT_EQ(status(head("/api/playlist", "Content-Length: 3\r\n"), policy), 0) << "other PUTs keep their 405";
    for (const auto& [path, headers, expected] : std::vector<std::tuple<std::string, std::string, int>>{
             {"new.mp4", "Content-Length: 10\r\n", 100},
             {"new.mp4", "", 411},
             {"new.mp4", "Transfer-Encoding: chunked\r\n", 411},
             {"new.mp4", "Content-Length: 1001\r\n", 413},
             {"new.mp4", "Content-Length: 99999999999999999999\r\n", 411},
             {"clip.mp4", "Content-Length: 10\r\n", 409},
             {"clip.mp4", "Content-Length: 10\r\nOverwrite: F\r\n", 409},
             {"clip.mp4", "Content-Length: 10\r\noverwrite: t\r\n", 100}})
        EXPECT_EQ(status(head("/api/media/" + path, headers), policy), expected) << path << " " << headers;
    EXPECT_EQ(status(head("/api/media/new.mp4", "Content-Length: 10\r\n"), {f.media, 1000, 1LL << 62}), 413)
        << "the disk keeps its reserve";
    for (const char* name : {"/api/media/../x.mp4", "/api/media/%2E%2E%2Fx.mp4", "/api/media//etc/x.mp4",
                             "/api/media/outdir/x.mp4", "/api/media/out.mp4", "/api/media/notes.txt", "/api/media/sub"})
        EXPECT_EQ(status(head(name, "Content-Length: 10\r\nOverwrite: T\r\n"), policy), 400) << name;
    EXPECT_EQ(entriesOf(f.outside), QStringList{"secret.mp4"});

    const HttpStreamStart waiting =
        WebLibrary::openUpload(head("/api/media/late.mp4", "Content-Length: 5\r\nExpect: 100-continue\r\n"), policy);
    EXPECT_TRUE(waiting.expectContinue);
    EXPECT_EQ(waiting.length, 5u);
}

TEST(WebLibrary, OnlyValidPlaylistFilesReplaceThePlaylist)
{
    ServiceRig rig;
    QTemporaryDir folder;
    rig.setTracks({"Keep"});
    const QList<MediaTrack> before = rig.controller->playlist().playlist();

    const auto existing = QUrl::fromLocalFile(folder.path() + "/here.mp4");
    writeFile(existing.toLocalFile(), "x");
    QList<MediaTrack> tracks{{QUuid::createUuid(), existing, "here.mp4", 0, 2},
                             {QUuid::createUuid(), QUrl::fromLocalFile("/nonexistent/gone.mp4"), "gone.mp4", 3600, 1}};
    writeFile(folder.path() + "/show.json", *TrackListCodec::encode(tracks));
    QByteArray broken = *TrackListCodec::encode(tracks);
    broken.replace("\"repeatCount\":1", "\"count\":1");
    writeFile(folder.path() + "/broken.json", broken);

    const HttpResponse invalid = WebLibrary::loadPlaylist(rig.services(), folder.path(), "broken.json");
    EXPECT_EQ(invalid.statusCode, 400);
    EXPECT_NE(invalid.body.find("repeatCount"), std::string::npos) << invalid.body;
    EXPECT_EQ(rig.controller->playlist().playlist(), before);

    LogCapture log;
    const HttpResponse loaded = WebLibrary::loadPlaylist(rig.services(), folder.path(), "show.json");
    ASSERT_EQ(loaded.statusCode, 200);
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(loaded.body)).object();
    EXPECT_EQ(answer["missing"].toArray(), QJsonArray{"gone.mp4"});
    EXPECT_EQ(rig.controller->playlist().playlist(), tracks) << "missing tracks keep their places";
    EXPECT_GE(log.indexOf("Loaded 2 tracks from playlist"), 0);

    EXPECT_EQ(WebLibrary::playlistFileName("Friday"), QString("Friday.json"));
    EXPECT_EQ(WebLibrary::playlistFileName("friday.JSON"), QString("friday.JSON"));
    EXPECT_FALSE(WebLibrary::playlistFileName("../Friday"));
    EXPECT_FALSE(WebLibrary::playlistFileName("a/b"));
}

TEST(MediaLibrary, ListsPlayableMediaWithWhatDiscoveryFound)
{
    const QString video = QString::fromStdString(MediaFiles::countingVideo(25, true));
    const QString tone = QString::fromStdString(MediaFiles::tone("flac", 500));
    ASSERT_FALSE(video.isEmpty());
    ASSERT_FALSE(tone.isEmpty());
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/songs");
    for (const auto& [from, to] : {std::pair{video, "Opening.mp4"},
                                   {tone, "songs/tone.flac"},
                                   {QString::fromStdString(MediaFiles::notMedia()), "broken.mp4"},
                                   {video, ".Opening.mp4.upload-1"}})
        ASSERT_TRUE(QFile::copy(from, dir.path() + "/" + to)) << to;
    writeFile(dir.path() + "/notes.txt", "not media");

    MediaLibrary library(dir.path());
    auto entries = library.list();
    ASSERT_EQ(entries.size(), 3u);
    // A broken export is listed, flagged with why, so that it can be seen and deleted.
    EXPECT_EQ(entries[0].name, "broken.mp4");
    EXPECT_FALSE(entries[0].playable);
    EXPECT_FALSE(entries[0].reason.isEmpty());
    EXPECT_EQ(WebLibrary::mediaDocument(entries)[0].toObject()["playable"], false);
    entries.erase(entries.begin());
    EXPECT_TRUE(entries[0].playable);
    EXPECT_EQ(entries[0].name, "Opening.mp4");
    EXPECT_EQ(entries[0].size, QFileInfo(dir.path() + "/Opening.mp4").size());
    ASSERT_TRUE(entries[0].duration);
    EXPECT_NEAR(*entries[0].duration, 1.0, 0.1);
    EXPECT_TRUE(entries[0].hasVideo);
    EXPECT_TRUE(entries[0].hasAudio);
    EXPECT_EQ(entries[1].name, "songs/tone.flac");
    ASSERT_TRUE(entries[1].duration);
    EXPECT_DOUBLE_EQ(*entries[1].duration, 0.5);
    EXPECT_FALSE(entries[1].hasVideo);
    EXPECT_EQ(WebLibrary::mediaDocument(entries)[1].toObject()["thumbnail"].toString(),
              "/api/media/thumbnail/songs/tone.flac");

    for (const QString name : {"Opening.mp4", "songs/tone.flac"}) {
        const auto jpeg = library.thumbnail(name);
        ASSERT_TRUE(jpeg) << name.toStdString();
        const QImage picture = QImage::fromData(*jpeg, "JPEG");
        EXPECT_FALSE(picture.isNull());
        EXPECT_LE(picture.width(), MediaLibrary::thumbnailWidth);
        EXPECT_EQ(library.thumbnail(name), jpeg) << "kept while the file is unchanged";
    }
    for (const char* name : {"broken.mp4", "notes.txt", "missing.mp4"})
        EXPECT_FALSE(library.thumbnail(name)) << name;

    // A file replaced under the same name is discovered again.
    QFile::remove(dir.path() + "/Opening.mp4");
    ASSERT_TRUE(QFile::copy(tone, dir.path() + "/Opening.mp4"));
    const auto changed = library.list();
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_FALSE(changed[1].hasVideo);
}
