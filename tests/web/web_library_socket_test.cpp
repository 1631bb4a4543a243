// Protects preparing a player from a browser, over real TCP: the media listing and thumbnails,
// playlist editing, saving and loading, uploads that are whole or absent, and that an upload
// in progress leaves the console's control of playback and the other clients undisturbed.
#include "WebClient.h"
#include "WebTestSupport.h"

#include "core/ConsoleTestSupport.h"
#include "net/ArtNetService.h"
#include "net/ArtNetTestSupport.h"
#include "support/MediaFiles.h"
#include "support/UdpTestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        forgetLastPlaylist();
        ASSERT_FALSE(video.isEmpty());
        ASSERT_FALSE(tone.isEmpty());
        settings().setMediaFolder(media);
    }
    void TearDown() override
    {
        server.reset();
        forgetLastPlaylist();
    }

    virtual SettingsManager& settings() { return rig.settings; }

    void startServer(const WebServices& services)
    {
        server = startWebServer({.address = "127.0.0.1",
                                 .port = 0,
                                 .resourceFolders = {},
                                 .settings = services.settings,
                                 .effects = services.effects,
                                 .playlistsFolder = playlists,
                                 .minimumFreeBytes = 0,
                                 .uploadStallTimeout = 500ms},
                                {services.playbackEngine, services.dmxController, services.protocolManager, {}, {}});
        port = server->port();
    }
    void startServer() { startServer(rig.services()); }

    // Copies the generated media into the media folder under the given names.
    void addMedia(const QString& videoName, const QString& toneName)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(media + "/" + toneName).path()));
        ASSERT_TRUE(QFile::copy(video, media + "/" + videoName));
        ASSERT_TRUE(QFile::copy(tone, media + "/" + toneName));
    }

    Answer upload(const std::string& name, const QByteArray& bytes, const std::string& headers = {})
    {
        return call(port, "PUT", "/api/media/" + name, bytes.toStdString(), headers);
    }
    Answer get(const std::string& path) { return call(port, "GET", path); }
    Answer post(const std::string& path, const std::string& body) { return call(port, "POST", path, body); }
    int remove(const std::string& path) { return call(port, "DELETE", "/api/media/" + path).status; }

    QStringList playlistNames()
    {
        QStringList names;
        for (const QJsonValue& track : jsonOf(get("/api/playlist")).array())
            names.append(track["name"].toString());
        return names;
    }
    QList<MediaTrack> tracks() const { return rig.controller->playlist().playlist(); }

    ServiceRig rig;
    QTemporaryDir root;
    QString media = root.path() + "/Media";
    QString playlists = root.path() + "/Playlists";
    QString video = QString::fromStdString(MediaFiles::countingVideo(25, true));
    QString tone = QString::fromStdString(MediaFiles::tone("flac", 500));
    std::unique_ptr<WebServer> server;
    std::uint16_t port = 0;
};

} // namespace

TEST_F(LibraryTest, ListingThumbnailsAndNamesThatLeaveTheFolder)
{
    startServer();
    addMedia("Opening Act.mp4", "songs/tone.flac");
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::copy(video, outside.path() + "/secret.mp4"));
    QFile::link(outside.path() + "/secret.mp4", media + "/link.mp4");
    QFile::link(outside.path(), media + "/elsewhere");

    const Answer listing = get("/api/media");
    ASSERT_EQ(listing.status, 200);
    EXPECT_EQ(headerValue(listing, "Content-Type"), "application/json");
    const QJsonArray files = jsonOf(listing).array();
    ASSERT_EQ(files.size(), 2) << listing.body;
    const QJsonObject opening = files[0].toObject();
    EXPECT_EQ(opening["name"], "Opening Act.mp4");
    EXPECT_NEAR(opening["duration"].toDouble(), 1.0, 0.1);
    EXPECT_EQ(opening["hasVideo"], true);
    EXPECT_EQ(opening["hasAudio"], true);
    EXPECT_EQ(opening["size"].toDouble(), QFileInfo(video).size());
    EXPECT_EQ(files[1].toObject()["duration"].toDouble(), 0.5);

    for (const QJsonValue& file : files) {
        const Answer picture = get(file["thumbnail"].toString().toStdString());
        ASSERT_EQ(picture.status, 200) << file["thumbnail"].toString().toStdString();
        EXPECT_EQ(headerValue(picture, "Content-Type"), "image/jpeg");
        const QImage image = QImage::fromData(QByteArray::fromStdString(picture.body), "JPEG");
        EXPECT_FALSE(image.isNull());
        EXPECT_LE(image.width(), 160);
    }
    // Which names leave the folder is for MediaPath; these show the route asks it.
    for (const char* name : {"link.mp4", "elsewhere/secret.mp4", "..%2FMedia%2FOpening%20Act.mp4", "missing.mp4"})
        EXPECT_EQ(get(std::string("/api/media/thumbnail/") + name).body, "Not Found") << name;
}

TEST_F(LibraryTest, PlaylistIsBuiltSavedAndLoadedThroughTheApi)
{
    startServer();
    addMedia("a.mp4", "songs/b.flac");
    EXPECT_EQ(post("/api/playlist/add", R"({"names":["a.mp4","songs/b.flac","a.mp4"]})").status, 200);
    EXPECT_EQ(playlistNames(), (QStringList{"a.mp4", "b.flac", "a.mp4"}));
    EXPECT_EQ(tracks()[1].url, QUrl::fromLocalFile(media + "/songs/b.flac"));
    EXPECT_EQ(tracks()[2].timecodeOffset, 7200.0);

    EXPECT_EQ(post("/api/playlist/remove", R"({"index":2})").status, 200);
    EXPECT_EQ(post("/api/playlist/repeat", R"({"index":1,"count":0})").status, 200);
    const QJsonArray shown = jsonOf(get("/api/playlist")).array();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1]["repeatCount"], 0);
    EXPECT_EQ(shown[0]["repeatCount"], 1);

    const Answer saved = post("/api/playlist/save", R"({"name":"Friday"})");
    ASSERT_EQ(saved.status, 200) << saved.body;
    const QJsonArray lists = jsonOf(get("/api/playlists")).array();
    ASSERT_EQ(lists.size(), 1);
    EXPECT_EQ(lists[0]["name"], "Friday.json");
    const QList<MediaTrack> friday = tracks();

    EXPECT_EQ(post("/api/playlist/remove", R"({"index":0})").status, 200);
    EXPECT_EQ(playlistNames(), QStringList{"b.flac"});
    const Answer loaded = post("/api/playlist/load", R"({"name":"Friday.json"})");
    ASSERT_EQ(loaded.status, 200) << loaded.body;
    EXPECT_EQ(jsonOf(loaded)["missing"].toArray(), QJsonArray{});
    EXPECT_EQ(tracks(), friday);

    // A broken file changes nothing; a deleted medium is named and keeps its place.
    ASSERT_TRUE(writeFile(playlists + "/broken.json", R"([{"id":"x"}])"));
    const Answer invalid = post("/api/playlist/load", R"({"name":"broken.json"})");
    EXPECT_EQ(invalid.status, 400);
    EXPECT_EQ(invalid.body.rfind("Invalid playlist: ", 0), 0u) << invalid.body;
    EXPECT_EQ(tracks(), friday);
    ASSERT_TRUE(QFile::remove(media + "/a.mp4"));
    const Answer withMissing = post("/api/playlist/load", R"({"name":"Friday"})");
    ASSERT_EQ(withMissing.status, 200);
    EXPECT_EQ(jsonOf(withMissing)["missing"].toArray(), QJsonArray{"a.mp4"});
    EXPECT_EQ(playlistNames(), (QStringList{"a.mp4", "b.flac"}));

    // Refusals: names outside the folders, absent media, wrong shapes.
    for (const char* body : {R"({"names":["../Playlists/Friday.json"]})", R"({"names":["/etc/hostname"]})",
                             R"({"names":"a.mp4"})", R"({"names":[3]})"})
        EXPECT_EQ(post("/api/playlist/add", body).status, 400) << body;
    EXPECT_EQ(post("/api/playlist/add", R"({"names":["missing.mp4"]})").status, 404);
    EXPECT_EQ(post("/api/playlist/save", R"({"name":"../escape"})").status, 400);
    EXPECT_EQ(post("/api/playlist/load", R"({"name":"absent"})").status, 404);
    EXPECT_EQ(post("/api/playlist/repeat", R"({"index":0,"count":-1})").status, 400);
    EXPECT_EQ(playlistNames(), (QStringList{"a.mp4", "b.flac"}));
    EXPECT_EQ(entriesOf(root.path()), QStringList{}) << "nothing written beside the two folders";
}

TEST_F(LibraryTest, UploadsAreWholeOrAbsent)
{
    startServer();
    const QByteArray clip = readFile(video);
    const Answer first = upload("clips/first.mp4", clip);
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_EQ(jsonOf(first)["size"].toDouble(), clip.size());
    EXPECT_EQ(readFile(media + "/clips/first.mp4"), clip);
    const QJsonArray listed = jsonOf(get("/api/media")).array();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0]["name"], "clips/first.mp4");

    EXPECT_EQ(upload("clips/first.mp4", "other").status, 409);
    EXPECT_EQ(readFile(media + "/clips/first.mp4"), clip);
    EXPECT_EQ(upload("clips/first.mp4", "other", "Overwrite: T\r\n").status, 200);
    EXPECT_EQ(readFile(media + "/clips/first.mp4"), "other");
    // A client that says it waits for "100 Continue" gets it, then is heard out.
    EXPECT_EQ(upload("patient.mp4", clip, "Expect: 100-continue\r\n").status, 200);
    EXPECT_EQ(readFile(media + "/patient.mp4"), clip);

    // The limit is the setting of the moment; which names may be written is for WebLibrary.
    rig.settings.setUploadSizeLimit(1000);
    EXPECT_EQ(upload("large.mp4", QByteArray(1001, 'x')).status, 413);
    rig.settings.setUploadSizeLimit(SettingsManager::defaultUploadSizeLimit);
    EXPECT_EQ(upload("..%2Fescape.mp4", "x").status, 400);
    EXPECT_EQ(call(port, "PUT", "/api/playlist", "x").status, 405);

    // Cut off halfway, or stalled past the timeout: nothing of it stays.
    const auto partial = [&](bool stall) {
        return served([&, stall] {
            const int fd = connectTo(port);
            sendAll(fd, "PUT /api/media/cut.mp4 HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n");
            sendAll(fd, std::string(400000, 'x'));
            Answer answer;
            if (stall)
                answer = parseAnswer(readUntilClosed(fd, 3s).received); // the server gives up first
            else
                std::this_thread::sleep_for(100ms);
            ::close(fd);
            return answer;
        });
    };
    LogCapture log;
    EXPECT_EQ(partial(false).status, 0);
    EXPECT_TRUE(waitUntil([&] { return log.contains("WebServer: Upload ended early, closing the connection"); }));
    EXPECT_EQ(partial(true).status, 408); // a client that is still there is told why
    EXPECT_TRUE(waitUntil([&] { return log.contains("WebServer: Upload stalled, closing the connection"); }));
    EXPECT_TRUE(waitUntil([&] { return server->connectionCount() == 0; }));
    EXPECT_EQ(entriesOf(media), (QStringList{"patient.mp4"}));
}

// Two phones editing at once never touch the wrong track; a broken export is reported, listed
// and deletable; deleting a clip that is on the playlist needs insisting, and keeps its cue.
TEST_F(LibraryTest, EditsNameTheirTrackAndBrokenFilesCanBeSeenAndDeleted)
{
    startServer();
    addMedia("A.mp4", "B.flac");
    ASSERT_EQ(post("/api/playlist/add", R"({"names":["A.mp4","B.flac","A.mp4"]})").status, 200);
    const QJsonArray rows = jsonOf(get("/api/playlist")).array();
    const std::string revision = std::to_string(jsonOf(get("/api/status"))["playlistRevision"].toInteger());
    // An edit body naming row `row` by its id, with `rest` after it.
    const auto edit = [&](int row, const std::string& rest) {
        return R"({"id":")" + rows[row]["id"].toString().toStdString() + "\"" + rest + "}";
    };

    // Phone A removes the first row; phone B, still showing the old list, removes "B.flac".
    EXPECT_EQ(post("/api/playlist/remove", edit(0, R"(,"revision":)" + revision)).status, 200);
    const Answer stale = post("/api/playlist/remove", edit(1, R"(,"revision":)" + revision));
    EXPECT_EQ(stale.status, 409);
    EXPECT_EQ(jsonOf(stale)["playlist"].toArray().size(), 2);
    EXPECT_EQ(playlistNames(), (QStringList{"B.flac", "A.mp4"}));
    EXPECT_EQ(post("/api/playlist/remove", edit(0, "")).status, 409) << "already gone";
    EXPECT_EQ(post("/api/playlist/repeat", edit(2, R"(,"count":3)")).status, 200);
    EXPECT_EQ(post("/api/playlist/reorder", edit(2, R"(,"direction":"up")")).status, 200);
    EXPECT_EQ(playlistNames(), (QStringList{"A.mp4", "B.flac"}));
    EXPECT_EQ(jsonOf(get("/api/playlist"))[0]["repeatCount"].toInt(), 3);

    const Answer broken = upload("broken.mp4", "not a video at all");
    EXPECT_EQ(jsonOf(broken)["playable"], false);
    EXPECT_FALSE(jsonOf(broken)["reason"].toString().isEmpty());
    EXPECT_EQ(jsonOf(upload("copy.flac", readFile(tone)))["playable"], true);
    const QJsonDocument listed = jsonOf(get("/api/media"));
    EXPECT_EQ(listed[0]["name"].toString(), "A.mp4");
    EXPECT_EQ(listed[2]["name"].toString(), "broken.mp4");
    EXPECT_EQ(listed[2]["playable"], false);
    EXPECT_EQ(upload(std::string(201, 'x') + ".mp4", "x").status, 400);

    EXPECT_EQ(remove("A.mp4"), 409);
    EXPECT_EQ(remove("A.mp4?force=1"), 200);
    EXPECT_EQ(jsonOf(get("/api/playlist"))[0]["missing"], true);
    EXPECT_EQ(playlistNames(), (QStringList{"A.mp4", "B.flac"})) << "the cue keeps its place";
    EXPECT_EQ(remove("broken.mp4"), 200);
    EXPECT_EQ(remove("broken.mp4"), 404);
    EXPECT_EQ(remove("..%2Fx.mp4"), 400);
    EXPECT_EQ(entriesOf(media), (QStringList{"B.flac", "copy.flac"}));
}

namespace {

// The application's assembly with a real Art-Net input on a port of the test's choosing.
struct ConsoleRig {
    UdpPeer console;
    UdpPeer timecode;
    std::uint16_t artNetPort = freeUdpPort();
    ArtNetService artNet{artNetOn(artNetPort, timecode.port())};
    SACNService sacn{sacnOn(freeUdpPort())};
    NoCITP citp;
    ProtocolManager manager{artNet, sacn, citp};
    PlaybackEngine engine;
    DMXController controller{manager, engine};
    SettingsManager settings;
    VideoEffectsManager effects;

    void send(int control) { console.sendTo(artNetPort, artDmx(0, 0, 0, dmxFrame({control}))); }
};

} // namespace

class LibraryWithConsoleTest : public LibraryTest {
protected:
    SettingsManager& settings() override { return console.settings; }
    ConsoleRig console;
};

TEST_F(LibraryWithConsoleTest, UploadsDoNotDisturbTheConsoleOrOtherClients)
{
    startServer({&console.engine, &console.controller, &console.manager, {}, {}, &console.settings, &console.effects});
    ASSERT_TRUE(waitUntil([&] { return console.artNet.isListening(); }));

    // The show is prepared from the browser: one clip uploaded, then a second.
    ASSERT_EQ(upload("one.mp4", readFile(video)).status, 200);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(clip(2.0, 1)), media + "/two.mp4"));
    ASSERT_EQ(post("/api/playlist/add", R"({"names":["one.mp4","two.mp4"]})").status, 200);
    const QList<MediaTrack> tracks = console.controller.playlist().playlist();
    ASSERT_EQ(tracks.size(), 2);

    // A large upload trickles in on its own thread while the console switches tracks.
    constexpr std::size_t uploadSize = 48u << 20;
    std::atomic<bool> uploading{true};
    auto bigUpload = std::async(std::launch::async, [&] {
        const int fd = connectTo(port);
        sendAll(fd, "PUT /api/media/big.mp4 HTTP/1.1\r\nContent-Length: " + std::to_string(uploadSize) + "\r\n\r\n");
        const std::string chunk(1u << 20, 'b');
        for (std::size_t sent = 0; sent < uploadSize; sent += chunk.size()) {
            sendAll(fd, chunk);
            std::this_thread::sleep_for(40ms);
        }
        Answer answer = parseAnswer(readUntilClosed(fd, 10s).received);
        ::close(fd);
        uploading = false;
        return answer;
    });

    // The console repeats its frame, as consoles do, until the player has done what it asks.
    const auto repeatUntil = [&](int control, const std::function<bool()>& done) {
        return waitUntil(
            [&] {
                console.send(control);
                spinFor(20ms);
                return done();
            },
            5s);
    };
    const auto select = [&](int value, const MediaTrack& track) {
        return repeatUntil(value, [&] { return playing(console.engine, track); });
    };
    EXPECT_TRUE(select(11, tracks[0]));
    const Answer status = get("/api/status");
    EXPECT_EQ(status.status, 200);
    EXPECT_EQ(jsonOf(status)["trackName"], "one.mp4");
    EXPECT_TRUE(select(21, tracks[1]));
    EXPECT_TRUE(uploading) << "the console was served while the upload ran";

    ASSERT_TRUE(waitUntil([&] { return bigUpload.wait_for(0ms) == std::future_status::ready; }, 30s));
    EXPECT_EQ(bigUpload.get().status, 200);
    EXPECT_EQ(QFileInfo(media + "/big.mp4").size(), static_cast<qint64>(uploadSize));

    // A file deleted while on the playlist fails to load when the console picks it; the
    // player carries on with the next pick.
    LogCapture log;
    ASSERT_TRUE(QFile::remove(media + "/one.mp4"));
    console.send(0);
    EXPECT_TRUE(repeatUntil(11, [&] { return log.containsPrefix("PlaybackEngine: Failed to load track. Error: "); }));
    EXPECT_TRUE(select(21, tracks[1]));
}
