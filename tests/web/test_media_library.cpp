// The remote's media library without sockets: names stay in their folder, uploads never replace a
// file that appeared meanwhile and are judged before any body byte, the listing shows discovery.
#include "WebTestSupport.h"

#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "web/MediaLibrary.h"
#include "web/MediaPath.h"
#include "web/UploadWriter.h"
#include "web/WebLibrary.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
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

} // namespace

TEST(MediaPath, NamesAreConfinedSegmentBySegmentAndLinksLeadingOutsideAreRefused)
{
    EXPECT_EQ(MediaPath::fromUrlPath("sub/Caf%C3%A9%20Nuit.mp4"), QString("sub/Café Nuit.mp4"));
    for (const char* refused : {"", "../clip.mp4", "a%2Fb.mp4", "a%5Cb.mp4", "clip%zz.mp4", "clip%00.mp4"})
        EXPECT_FALSE(MediaPath::fromUrlPath(refused)) << refused;
    EXPECT_FALSE(MediaPath::checked("/x.mp4"));

    Folders f;
    EXPECT_EQ(MediaPath::existingFile(f.media, "alias.mp4"), f.media + "/alias.mp4") << "a link inside stays usable";
    for (const char* name : {"out.mp4", "missing.mp4", "sub", "../outside/secret.mp4"})
        EXPECT_FALSE(MediaPath::existingFile(f.media, name)) << name;

    const auto fresh = MediaPath::writeTarget(f.media, "new/folder/take.mp4");
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->exists);
    EXPECT_TRUE(QFileInfo(f.media + "/new/folder").isDir());
    EXPECT_TRUE(MediaPath::writeTarget(f.media, "clip.mp4")->exists);
    for (const char* name : {"outdir/more/new.mp4", "out.mp4", "sub"})
        EXPECT_FALSE(MediaPath::writeTarget(f.media, name)) << name;
    EXPECT_FALSE(QFileInfo(f.outside + "/more").exists()) << "nothing is created outside";
}

// An upload cut off or replacing a file over the socket is the server test's; here the race it
// cannot stage: a file of the same name appears while the upload runs, and is kept.
TEST(UploadWriter, AFileThatAppearsMeanwhileIsKept)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/take.mp4";
    auto writer = std::get<std::unique_ptr<UploadWriter>>(UploadWriter::open(target, "take.mp4", 5, false));
    EXPECT_FALSE(writer->write("12345"));
    EXPECT_EQ(entriesOf(dir.path()).size(), 1) << "the temporary file exists while writing";
    writeFile(target, "theirs");
    EXPECT_EQ(writer->finish().statusCode, 409);
    EXPECT_EQ(readFile(target), "theirs");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"take.mp4"}) << "nothing of the upload is left";
}

TEST(WebLibrary, UploadHeadsAndPlaylistNamesAreJudgedBeforeAnyFile)
{
    Folders f;
    const WebLibrary::UploadPolicy policy{f.media, 1000, 0};
    const auto status = [&](const std::string& path, const std::string& headers,
                            WebLibrary::UploadPolicy p = {"", 1000, 0}) {
        p.folder = f.media;
        const HttpStreamStart start = WebLibrary::openUpload("PUT " + path + " HTTP/1.1\r\n" + headers + "\r\n", p);
        if (!start.claimed)
            return 0;
        return start.answer ? start.answer->statusCode : (start.sink ? 100 : -1);
    };
    EXPECT_EQ(WebLibrary::openUpload("GET /api/media/x.mp4 HTTP/1.1\r\n\r\n", policy).claimed, false);
    EXPECT_EQ(status("/api/playlist", "Content-Length: 3\r\n"), 0) << "other PUTs keep their 405";
    for (const auto& [name, headers, expected] : std::vector<std::tuple<std::string, std::string, int>>{
             {"new.mp4", "Content-Length: 10\r\n", 100},
             {"new.mp4", "", 411},
             {"new.mp4", "Transfer-Encoding: chunked\r\n", 411},
             {"new.mp4", "Content-Length: 1001\r\n", 413},
             {"new.mp4", "Content-Length: 99999999999999999999\r\n", 411},
             {"clip.mp4", "Content-Length: 10\r\nOverwrite: F\r\n", 409},
             {"clip.mp4", "Content-Length: 10\r\noverwrite: t\r\n", 100},
             {"../x.mp4", "Content-Length: 10\r\n", 400},
             {"outdir/x.mp4", "Content-Length: 10\r\n", 400},
             {"notes.txt", "Content-Length: 10\r\n", 400}})
        EXPECT_EQ(status("/api/media/" + name, headers), expected) << name << " " << headers;
    EXPECT_EQ(status("/api/media/new.mp4", "Content-Length: 10\r\n", {"", 1000, 1LL << 62}), 413)
        << "the disk keeps its reserve";
    EXPECT_EQ(entriesOf(f.outside), QStringList{"secret.mp4"});
    const HttpStreamStart waiting = WebLibrary::openUpload(
        "PUT /api/media/late.mp4 HTTP/1.1\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n", policy);
    EXPECT_TRUE(waiting.expectContinue);
    EXPECT_EQ(waiting.length, 5u);

    EXPECT_EQ(WebLibrary::playlistFileName("friday.JSON"), QString("friday.JSON"));
    EXPECT_FALSE(WebLibrary::playlistFileName("a/b"));
}

TEST(MediaLibrary, ListsPlayableMediaWithWhatDiscoveryFound)
{
    const QString video = QString::fromStdString(MediaFiles::countingVideo(25, true));
    const QString tone = QString::fromStdString(MediaFiles::tone("flac", 500));
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/songs");
    for (const auto& [from, to] : {std::pair{video, "Opening.mp4"},
                                   {tone, "songs/tone.flac"},
                                   {QString::fromStdString(MediaFiles::notMedia()), "broken.mp4"},
                                   {video, ".Opening.mp4.upload-1"}})
        ASSERT_TRUE(QFile::copy(from, dir.path() + "/" + to)) << to;
    writeFile(dir.path() + "/notes.txt", "not media");

    MediaLibrary library(dir.path());
    const auto entries = library.list();
    ASSERT_EQ(entries.size(), 3u);
    // A broken export is listed, flagged with why, so that it can be seen and deleted.
    EXPECT_EQ(entries[0].name, "broken.mp4");
    EXPECT_FALSE(entries[0].playable);
    EXPECT_FALSE(entries[0].reason.isEmpty());
    EXPECT_TRUE(entries[1].hasVideo);
    EXPECT_EQ(entries[2].name, "songs/tone.flac");
    EXPECT_FALSE(entries[2].hasVideo);
    const QJsonArray document = WebLibrary::mediaDocument(entries);
    EXPECT_EQ(document[0].toObject()["playable"], false);
    EXPECT_EQ(document[2].toObject()["thumbnail"].toString(), "/api/media/thumbnail/songs/tone.flac");

    const auto jpeg = library.thumbnail("Opening.mp4");
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(library.thumbnail("Opening.mp4"), jpeg) << "kept while the file is unchanged";
    for (const char* name : {"broken.mp4", "notes.txt", "missing.mp4"})
        EXPECT_FALSE(library.thumbnail(name)) << name;

    // A file replaced under the same name is discovered again.
    QFile::remove(dir.path() + "/Opening.mp4");
    ASSERT_TRUE(QFile::copy(tone, dir.path() + "/Opening.mp4"));
    EXPECT_FALSE(library.list()[1].hasVideo);
}
