// The web remote over real TCP: exact framing, every route and failure status, requests that
// never hang or crash it, who may call what, and preparing a show (media, playlists, uploads).
#include "WebClient.h"
#include "WebTestSupport.h"

#include "core/ConsoleTestSupport.h"
#include "net/ArtNetService.h"
#include "net/ArtNetTestSupport.h"
#include "support/MediaFiles.h"
#include "support/UdpTestSupport.h"
#include "web/WebPages.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

using Headers = std::vector<std::string>;

class WebServerTest : public ::testing::Test {
protected:
    // The server goes before the services it was given, a derived fixture's included.
    void TearDown() override { server.reset(); }
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        ASSERT_FALSE(video.isEmpty() || tone.isEmpty());
        rig.remote.setTransportMinInterval(0);
        rig.settings.setMediaFolder(media);
        for (const auto& [relative, bytes] : {std::pair{"digital-7.ttf", QByteArray::fromStdString(font)},
                                              {"Fixtures/My Profile.xml", "<fixture/>"},
                                              {"Fixtures/desk.cha", "patch"}})
            ASSERT_TRUE(writeFile(resources.path() + "/" + relative, bytes));
        server = startServer(resources.path(), rig.services());
        port = server->port();
    }

    WebServer::Options options(const QString& resourceFolder, std::uint16_t listenPort = 0)
    {
        return {.address = "127.0.0.1",
                .port = listenPort,
                .requestTimeout = 400ms,
                .resourceFolders = {resourceFolder},
                .settings = &rig.settings,
                .effects = &rig.effects,
                .remote = &rig.remote,
                .playlistsFolder = resources.path() + "/Playlists",
                .minimumFreeBytes = 0,
                .uploadStallTimeout = 500ms};
    }
    std::unique_ptr<WebServer> startServer(const QString& folder, const WebServices& services)
    {
        return startWebServer(options(folder), services);
    }

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
    int remove(const std::string& path) { return call(port, "DELETE", "/api/media/" + path).status; }
    QStringList playlistNames()
    {
        QStringList names;
        for (const QJsonValue& track : jsonOf(get("/api/playlist")).array())
            names.append(track["name"].toString());
        return names;
    }
    QList<MediaTrack> tracks() const { return rig.controller->playlist().playlist(); }
    Answer get(const std::string& path) { return call(port, "GET", path); }
    Answer post(const std::string& path, const std::string& body) { return call(port, "POST", path, body); }
    int status(const std::string& text, bool halfClose = false, Millis patience = 5000ms)
    {
        return parseAnswer(exchange(port, {{text}}, halfClose, patience).received).status;
    }
    bool allClosed()
    {
        return waitUntil([&] { return server->connectionCount() == 0; });
    }
    // The "Cookie:" header line that returns a Set-Cookie answer's session.
    static std::string cookieOf(const Answer& answer)
    {
        const std::string value = headerValue(answer, "Set-Cookie");
        return "Cookie: " + value.substr(0, value.find(';')) + "\r\n";
    }

    const std::string font{"\0\1\0\0font", 8};
    ServiceRig rig;
    QTemporaryDir resources;
    QString media = resources.path() + "/Media";
    QString playlists = resources.path() + "/Playlists";
    QString video = QString::fromStdString(MediaFiles::countingVideo(25, true));
    QString tone = QString::fromStdString(MediaFiles::tone("flac", 500));
    std::unique_ptr<WebServer> server;
    std::uint16_t port = 0;
};

} // namespace

TEST_F(WebServerTest, EveryGetRouteIsFramedExactlyAndClosed)
{
    const Exchange raw = exchange(port, {{request("GET", "/")}});
    EXPECT_TRUE(raw.closedByServer);
    const Answer root = parseAnswer(raw.received);
    EXPECT_EQ(root.statusLine, "HTTP/1.1 200 OK");
    const std::string length = "Content-Length: " + std::to_string(root.body.size());
    EXPECT_EQ(root.headers, (Headers{"Content-Type: text/html", length, "Connection: close"}));
    EXPECT_EQ(root.body, WebPages::remote());
    EXPECT_EQ(server->serverURL(), QStringLiteral("http://localhost:%1").arg(port));
    EXPECT_EQ(get("/font/digital-7.ttf").headers,
              (Headers{"Content-Type: font/ttf", "Content-Length: 8", "Cache-Control: public, max-age=31536000",
                       "Connection: close"}));

    rig.setTracks({"Intro", "Café ☕", "Finale"});
    const std::string html = "text/html", json = "application/json";
    for (const auto& [path, type, fragment] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"/index.html", html, "<title>Orvelo Remote</title>"},
             {"/playlist.html", html, "<title>Playlist - Orvelo</title>"},
             {"/settings.html", html, "<title>Settings - Orvelo</title>"},
             {"/effects.html", html, "<title>Effects - Orvelo</title>"},
             {"/fixtures.html", html, R"(href="/fixtures/My%20Profile.xml")"},
             {"/fixtures/My%20Profile.xml", "application/octet-stream", "<fixture/>"},
             {"/fixtures/orvelo.json", json, R"("shortName": "18ch")"},
             // Names are decoded before the lookup, a broken escape is looked up as written, and
             // the length counts bytes.
             {"/fixtures/..%2Fdigital-7.ttf", "text/plain", "Fixture file not found: ../digital-7.ttf"},
             {"/fixtures/100%25%zz", "text/plain", "Fixture file not found: 100%25%zz"},
             {"/fixtures/caf%C3%A9%E2%98%95.xml", "text/plain", "Fixture file not found: café☕.xml"},
             {"/api/status", json, R"("trackName":"No Track")"},
             {"/api/playlist", json, R"("index":1,"isCurrent":false,"missing":true,"name":"Café ☕")"},
             {"/api/config/artnet", json, R"({"channel":1,"net":0,"subnet":0,"universe":0})"},
             {"/api/settings", json, R"("current":"onyx_dark")"},
             {"/api/effects", json, R"("selected":"Black Screen")"}}) {
        const Answer answer = get(path);
        EXPECT_EQ(headerValue(answer, "Content-Type"), type) << path;
        EXPECT_EQ(headerValue(answer, "Content-Length"), std::to_string(answer.body.size())) << path;
        EXPECT_NE(answer.body.find(fragment), std::string::npos) << path << ": " << answer.body.substr(0, 300);
    }
    EXPECT_EQ(headerValue(get("/api/status"), "Cache-Control"), "") << "only files are cached";
    EXPECT_TRUE(allClosed());
}

TEST_F(WebServerTest, PagesShareOneStyleSheetAndScriptCachedUnderTheirContentsName)
{
    for (const WebAsset* asset : {&WebPages::styleSheet(), &WebPages::script()}) {
        const Answer answer = get(asset->path);
        EXPECT_EQ(answer.body, asset->body);
        EXPECT_EQ(answer.headers, (Headers{"Content-Type: " + asset->contentType,
                                           "Content-Length: " + std::to_string(asset->body.size()),
                                           "Cache-Control: public, max-age=31536000, immutable", "ETag: " + asset->etag,
                                           "Connection: close"}));
        // The name carries the digest, so a build that changes the file changes the address.
        EXPECT_NE(asset->path.find(asset->etag.substr(1, asset->etag.size() - 2)), std::string::npos) << asset->path;
    }
    EXPECT_EQ(post(WebPages::script().path, "{}").status, 404);
    const std::string head = "<link rel=\"stylesheet\" href=\"" + WebPages::styleSheet().path + "\">\n<script src=\"" +
                             WebPages::script().path + "\"></script>\n<title>";
    for (const char* path : {"/", "/playlist.html", "/settings.html", "/effects.html", "/fixtures.html", "/login.html"})
        EXPECT_NE(get(path).body.find(head), std::string::npos) << path;
}

TEST_F(WebServerTest, WrongMethodsUnknownPathsAndUnparsableRequests)
{
    const Answer put = call(port, "PUT", "/");
    EXPECT_EQ(put.statusLine, "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(put.body, "Method Not Allowed");
    EXPECT_EQ(headerValue(put, "Content-Type"), "text/plain");
    EXPECT_EQ(get("/api/status?x=1").body, "Not Found");
    EXPECT_EQ(call(port, "DELETE", "/api/status").status, 405);
    EXPECT_EQ(post("/api/unknown", "not even json").status, 404);

    // No path, not UTF-8, one word once the client has ended its side, bare line feeds.
    for (const auto& [text, halfClose] :
         std::vector<std::pair<std::string, bool>>{{"GET\r\n\r\n", false},
                                                   {"GET /caf\xe9 HTTP/1.1\r\n\r\n", false},
                                                   {"GET", true},
                                                   {"GET / HTTP/1.1\nHost: 127.0.0.1\n\n", false}}) {
        const Exchange raw = exchange(port, {{text}}, halfClose);
        EXPECT_EQ(parseAnswer(raw.received).statusLine, "HTTP/1.1 400 Bad Request") << text;
        EXPECT_TRUE(raw.closedByServer) << text;
    }
}

TEST_F(WebServerTest, MissingResourcesAndServices)
{
    QTemporaryDir empty;
    const auto bare = startServer(
        empty.path(), {rig.engine.get(), rig.controller.get(), rig.protocols.get(), nullptr, rig.themes.get()});
    EXPECT_EQ(call(bare->port(), "GET", "/font/digital-7.ttf").body, "Font not found");
    // Without console files the page still offers the player's own profile and chart.
    EXPECT_NE(call(bare->port(), "GET", "/fixtures.html").body.find(R"(href="/fixtures/orvelo.json")"),
              std::string::npos);

    const auto orphan = startServer(resources.path(), {});
    for (const char* path : {"/api/status", "/api/playlist", "/api/config/artnet"}) {
        const Answer answer = call(orphan->port(), "GET", path);
        EXPECT_EQ(answer.statusLine, "HTTP/1.1 500 Internal Server Error") << path;
        EXPECT_EQ(answer.body, "Internal Error");
    }
    EXPECT_EQ(call(orphan->port(), "GET", "/api/settings").status, 200);
    // Actions on services that are gone are answered and do nothing.
    EXPECT_EQ(call(orphan->port(), "POST", "/api/control", R"({"command":"next"})").status, 200);

    // A value JSON cannot carry makes the document unwritable rather than wrong.
    rig.effects.setBrightness(std::numeric_limits<float>::infinity());
    EXPECT_EQ(get("/api/effects").status, 500);
}

TEST_F(WebServerTest, PostActionsReachThePlayer)
{
    rig.setTracks({"A", "B", "C"});
    EXPECT_EQ(post("/api/playlist/reorder", R"({"index":0,"direction":"down"})").body, R"({"status":"ok"})");
    EXPECT_EQ(rig.controller->playlist().playlist()[0].name, "B");
    EXPECT_EQ(post("/api/playlist/reorder", R"({"index":1,"direction":"left"})").status, 200);
    EXPECT_EQ(post("/api/playlist/play", R"({"index":7})").status, 200);

    rig.engine->setIsPlaying(true);
    EXPECT_EQ(post("/api/control", R"({"command":"prev"})").status, 200);
    EXPECT_TRUE(waitUntil([&] { return !rig.engine->isPlaying(); }));
    // Transport closer than the interval is ignored; when it is let through again is the pacer's.
    rig.remote.setTransportMinInterval(0.5);
    EXPECT_EQ(jsonOf(post("/api/playlist/play", R"({"index":0})"))["status"], "ignored");

    DMXConfig config;
    config.universe = 9;
    rig.controller->setDmxConfig(config);
    EXPECT_EQ(post("/api/config/artnet", "{}").status, 200);
    EXPECT_TRUE(waitUntil([&] { return rig.controller->dmxConfig().universe == 0; }));

    EXPECT_EQ(post("/api/settings", R"({"playback":{"autoPlayNext":true}})").status, 200);
    EXPECT_TRUE(rig.controller->autoPlayNext()) << "settings are answered once applied";
    EXPECT_EQ(post("/api/effects", R"({"rgb":{"blueEnabled":false}})").status, 200);
    EXPECT_TRUE(waitUntil([&] { return !rig.effects.blueEnabled(); }));
}

// Pollers keep document builds waiting; a client that reads after its own POST was answered
// still sees its change.
TEST_F(WebServerTest, ReadsAfterAnAnsweredPostSeeIt)
{
    const auto once = [&](const std::string& method, const std::string& body = {}) {
        return parseAnswer(rawExchange(port, {{request(method, "/api/effects", body)}}, false, 2000ms).received);
    };
    std::atomic<bool> polling{true};
    std::vector<std::thread> pollers;
    for (int i = 0; i < 8; ++i)
        pollers.emplace_back([&] {
            while (polling)
                once("GET");
        });
    const int stale = served(
        [&] {
            int count = 0;
            for (int i = 1; i <= 40; ++i) {
                once("POST", R"({"pattern":{"speed":)" + std::to_string(i) + "}}");
                count += jsonOf(once("GET"))["pattern"].toObject()["speed"].toDouble() != i;
            }
            return count;
        },
        30000ms);
    polling = false;
    for (auto& poller : pollers)
        poller.join();
    EXPECT_EQ(stale, 0);
}

TEST_F(WebServerTest, BadPostBodies)
{
    for (const auto& [path, body] :
         std::vector<std::pair<std::string, std::string>>{{"/api/playlist/play", R"({"index":1.5})"},
                                                          {"/api/playlist/reorder", R"({"index":1})"},
                                                          {"/api/control", R"({"command":true})"},
                                                          {"/api/control", R"(["play"])"},
                                                          {"/api/effects", ""}}) {
        const Answer answer = post(path, body);
        EXPECT_EQ(answer.statusLine, "HTTP/1.1 400 Bad Request") << path << " " << body;
        EXPECT_EQ(answer.body, "Invalid JSON") << path << " " << body;
    }
    // A head that never ends has no body at all.
    const Answer unterminated =
        parseAnswer(exchange(port, {{"POST /api/control HTTP/1.1\r\nHost: 127.0.0.1\r\n"}}, true).received);
    EXPECT_EQ(unterminated.body, "Bad Request");
}

TEST_F(WebServerTest, OversizeRequestsAre413)
{
    const Exchange raw = exchange(port, {{request("POST", "/api/settings", std::string(70000, 'x'))}});
    EXPECT_EQ(parseAnswer(raw.received).statusLine, "HTTP/1.1 413 Payload Too Large");
    EXPECT_TRUE(raw.closedByServer);
    EXPECT_EQ(status("GET / HTTP/1.1\r\nX-Pad: " + std::string(70000, 'p')), 413);

    // Just inside the limit is served.
    const std::size_t headSize = request("POST", "/api/effects", std::string(60000, ' ')).find("\r\n\r\n") + 4;
    const std::string fits = request("POST", "/api/effects", "{}" + std::string(65536 - headSize - 2, ' '));
    ASSERT_EQ(fits.size(), 65536u);
    EXPECT_EQ(status(fits), 200);
}

TEST_F(WebServerTest, SilentAndSlowClientsAreClosed)
{
    const auto started = std::chrono::steady_clock::now();
    const Exchange silent = exchange(port, {}, false, 3000ms);
    EXPECT_TRUE(silent.closedByServer);
    EXPECT_EQ(silent.received, "");

    // A request that began but never became whole is told so before the connection closes.
    std::vector<Piece> trickle;
    for (char c : std::string("GET / HTTP/1.1\r\nHost: slow\r\n\r\n"))
        trickle.push_back({std::string(1, c), 60ms});
    EXPECT_EQ(parseAnswer(exchange(port, trickle, false, 3000ms).received).status, 408);
    EXPECT_EQ(status(request("POST", "/api/control", R"({"command":"stop"})").substr(0, 90), false, 3000ms), 408);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5000ms);
    EXPECT_TRUE(allClosed());
}

TEST_F(WebServerTest, ListenerFailureIsReported)
{
    test::LogCapture log;
    WebServer second(options(resources.path(), port));
    second.start(rig.engine.get(), rig.controller.get(), rig.protocols.get(), nullptr, rig.themes.get());
    EXPECT_TRUE(waitUntil([&] { return log.contains("WebServer: Failed with error: Address already in use"); }));
    EXPECT_FALSE(second.isRunning());
    EXPECT_EQ(get("/api/status").status, 200);
}

// Which requests the guard refuses is RequestGuard's test; here it stands before every route.
TEST_F(WebServerTest, WithoutAPasswordEverythingWorksButForeignSitesAndNames)
{
    EXPECT_EQ(jsonOf(call(port, "GET", "/api/session")).object(),
              (QJsonObject{{"role", "operator"}, {"passwordSet", false}}));
    const std::string ignore = R"({"playback":{"ignoreDMX":true}})";
    EXPECT_EQ(call(port, "POST", "/api/settings", ignore, "Origin: http://evil.example\r\n").status, 403);
    EXPECT_FALSE(rig.controller->ignoreDMX());
    const std::string rebound = "GET /api/status HTTP/1.1\r\nHost: attacker.example:8080\r\n\r\n";
    EXPECT_EQ(parseAnswer(exchange(port, {{rebound}}).received).status, 421);
    EXPECT_EQ(headerValue(call(port, "GET", "/"), "Access-Control-Allow-Origin"), "");
}

TEST_F(WebServerTest, WithAPasswordEveryRouteAsksWhoIsCalling)
{
    const Answer set = call(port, "POST", "/api/access/password", R"({"password":"stage door"})");
    ASSERT_EQ(set.status, 200);
    const std::string operatorCookie = cookieOf(set);
    const QJsonObject token =
        jsonOf(call(port, "POST", "/api/access/tokens", R"({"name":"Console macro"})", operatorCookie)).object();
    const std::string bearer = "Authorization: Bearer " + token["token"].toString().toStdString() + "\r\n";
    const QString link = jsonOf(call(port, "GET", "/api/access", {}, operatorCookie))["viewerLink"].toString();
    ASSERT_TRUE(link.startsWith("http://127.0.0.1/login.html#viewer=")); // the host the client used
    const std::string viewerKey = link.section("#viewer=", 1).toStdString();
    const std::string viewerCookie =
        cookieOf(call(port, "POST", "/api/login", R"({"viewerKey":")" + viewerKey + R"("})"));

    const std::string stop = R"({"command":"stop"})";
    const std::vector<std::tuple<std::string, std::string, std::string, std::string, int>> cases{
        {"GET", "/", "", "", 302},
        {"GET", WebPages::styleSheet().path, "", "", 200}, // the login page's too
        {"GET", "/api/session", "", "", 200},
        {"GET", "/api/status", "", "", 401},
        {"POST", "/api/control", stop, "", 401},
        {"PUT", "/api/media/clip.mp4", "data", "", 401},
        {"GET", "/api/status", "", viewerCookie, 200},
        {"POST", "/api/control", stop, viewerCookie, 403},
        {"PUT", "/api/media/clip.mp4", "data", viewerCookie, 403},
        {"GET", "/api/access", "", viewerCookie, 403},
        {"GET", "/api/status", "", bearer, 200},
        {"GET", "/api/access/viewer-qr.svg", "", operatorCookie, 200},
        {"GET", "/api/status", "", "Cookie: orvelo_session=forged\r\n", 401},
    };
    for (const auto& [method, path, body, credential, status] : cases)
        EXPECT_EQ(call(port, method, path, body, credential).status, status)
            << method << " " << path << " " << credential;
    EXPECT_EQ(headerValue(call(port, "GET", "/settings.html"), "Location"), "/login.html");
    EXPECT_EQ(jsonOf(call(port, "GET", "/api/session", {}, viewerCookie)).object(),
              (QJsonObject{{"role", "viewer"}, {"passwordSet", true}}));

    // Guessing is slowed down for the guessing address.
    EXPECT_EQ(call(port, "POST", "/api/login", R"({"password":"guess"})").status, 401);
    const Answer held = call(port, "POST", "/api/login", R"({"password":"stage door"})");
    EXPECT_EQ(held.status, 429);
    EXPECT_EQ(headerValue(held, "Retry-After"), "1");

    // A change takes the current password and ends every other session; revoked tokens stop.
    EXPECT_EQ(call(port, "POST", "/api/access/password", R"({"password":"x"})", operatorCookie).status, 403);
    const Answer changed =
        call(port, "POST", "/api/access/password", R"({"password":"new door","current":"stage door"})", operatorCookie);
    ASSERT_EQ(changed.status, 200);
    EXPECT_EQ(call(port, "GET", "/api/status", {}, operatorCookie).status, 401);
    EXPECT_EQ(call(port, "GET", "/api/status", {}, viewerCookie).status, 401);
    EXPECT_EQ(call(port, "GET", "/api/status", {}, cookieOf(changed)).status, 200);
    EXPECT_EQ(call(port, "POST", "/api/access/tokens/revoke", R"({"name":"Console macro"})", cookieOf(changed)).status,
              200);
    EXPECT_EQ(call(port, "GET", "/api/status", {}, bearer).status, 401);
}

TEST_F(WebServerTest, MediaFolderOnlyInsideTheLibraryRoots)
{
    QTemporaryDir elsewhere;
    const std::string outside = R"({"library":{"mediaFolder":")" + elsewhere.path().toStdString() + R"("}})";
    const Answer refused = call(port, "POST", "/api/settings", outside);
    EXPECT_EQ(refused.status, 400);
    EXPECT_NE(refused.body.find("library root"), std::string::npos);
    EXPECT_EQ(rig.settings.mediaFolder(), media);

    ASSERT_EQ(rig.remote.addLibraryRoot(elsewhere.path()), std::nullopt);
    EXPECT_EQ(call(port, "POST", "/api/settings", outside).status, 200);
    EXPECT_EQ(rig.settings.mediaFolder(), elsewhere.path());
}

TEST_F(WebServerTest, ListensOnTheChosenInterfaceAndLoopbackOnly)
{
    // A listener chosen anew may take another port.
    const auto reachable = [&](const char* host) {
        const int fd = connectTo(server->port(), host);
        ::close(fd);
        return fd >= 0;
    };
    rig.remote.setInterfaceName("show0");
    ASSERT_TRUE(waitUntil([&] { return reachable("10.254.0.2") && reachable("127.0.0.1"); }));
    rig.remote.setInterfaceName("orvelo-absent0");
    EXPECT_TRUE(waitUntil([&] { return !reachable("10.254.0.2") && reachable("127.0.0.1"); }));
    EXPECT_EQ(call(server->port(), "GET", "/api/status").status, 200);
}

TEST_F(WebServerTest, ListingThumbnailsAndNamesThatLeaveTheFolder)
{
    addMedia("Opening Act.mp4", "songs/tone.flac");
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::copy(video, outside.path() + "/secret.mp4"));
    QFile::link(outside.path() + "/secret.mp4", media + "/link.mp4");
    QFile::link(outside.path(), media + "/elsewhere");

    const Answer listing = get("/api/media");
    EXPECT_EQ(headerValue(listing, "Content-Type"), "application/json");
    const QJsonArray files = jsonOf(listing).array();
    ASSERT_EQ(files.size(), 2) << listing.body;
    const QJsonObject opening = files[0].toObject();
    EXPECT_EQ(opening["name"], "Opening Act.mp4");
    EXPECT_NEAR(opening["duration"].toDouble(), 1.0, 0.1);
    EXPECT_EQ(std::pair(opening["hasVideo"], opening["hasAudio"]), std::pair(QJsonValue(true), QJsonValue(true)));
    EXPECT_EQ(opening["size"].toDouble(), QFileInfo(video).size());
    EXPECT_EQ(files[1].toObject()["duration"].toDouble(), 0.5);

    for (const QJsonValue& file : files) {
        const Answer picture = get(file["thumbnail"].toString().toStdString());
        EXPECT_EQ(headerValue(picture, "Content-Type"), "image/jpeg");
        EXPECT_LE(QImage::fromData(QByteArray::fromStdString(picture.body), "JPEG").width(), 160);
    }
    // Which names leave the folder is for MediaPath; these show the route asks it.
    for (const char* name : {"link.mp4", "..%2FMedia%2FOpening%20Act.mp4"})
        EXPECT_EQ(get(std::string("/api/media/thumbnail/") + name).body, "Not Found") << name;
}

TEST_F(WebServerTest, PlaylistIsBuiltSavedAndLoadedThroughTheApi)
{
    addMedia("a.mp4", "songs/b.flac");
    EXPECT_EQ(post("/api/playlist/add", R"({"names":["a.mp4","songs/b.flac","a.mp4"]})").status, 200);
    EXPECT_EQ(playlistNames(), (QStringList{"a.mp4", "b.flac", "a.mp4"}));
    EXPECT_EQ(tracks()[1].url, QUrl::fromLocalFile(media + "/songs/b.flac"));
    EXPECT_EQ(tracks()[2].timecodeOffset, 7200.0);

    EXPECT_EQ(post("/api/playlist/remove", R"({"index":2})").status, 200);
    EXPECT_EQ(post("/api/playlist/repeat", R"({"index":1,"count":0})").status, 200);
    EXPECT_EQ(jsonOf(get("/api/playlist"))[1]["repeatCount"], 0);

    ASSERT_EQ(post("/api/playlist/save", R"({"name":"Friday"})").status, 200);
    EXPECT_EQ(jsonOf(get("/api/playlists"))[0]["name"], "Friday.json");
    const QList<MediaTrack> friday = tracks();

    EXPECT_EQ(post("/api/playlist/remove", R"({"index":0})").status, 200);
    EXPECT_EQ(playlistNames(), QStringList{"b.flac"});
    EXPECT_EQ(jsonOf(post("/api/playlist/load", R"({"name":"Friday.json"})"))["missing"].toArray(), QJsonArray{});
    EXPECT_EQ(tracks(), friday);

    // A broken file changes nothing; a deleted medium is named and keeps its place.
    ASSERT_TRUE(writeFile(playlists + "/broken.json", R"([{"id":"x"}])"));
    const Answer invalid = post("/api/playlist/load", R"({"name":"broken.json"})");
    EXPECT_EQ(invalid.status, 400);
    EXPECT_EQ(invalid.body.rfind("Invalid playlist: ", 0), 0u) << invalid.body;
    EXPECT_EQ(tracks(), friday);
    ASSERT_TRUE(QFile::remove(media + "/a.mp4"));
    EXPECT_EQ(jsonOf(post("/api/playlist/load", R"({"name":"Friday"})"))["missing"].toArray(), QJsonArray{"a.mp4"});
    EXPECT_EQ(playlistNames(), (QStringList{"a.mp4", "b.flac"}));

    // Refusals: names outside the folders, absent media, wrong shapes.
    for (const char* body : {R"({"names":["../Playlists/Friday.json"]})", R"({"names":"a.mp4"})", R"({"names":[3]})"})
        EXPECT_EQ(post("/api/playlist/add", body).status, 400) << body;
    EXPECT_EQ(post("/api/playlist/add", R"({"names":["missing.mp4"]})").status, 404);
    EXPECT_EQ(post("/api/playlist/save", R"({"name":"../escape"})").status, 400);
    EXPECT_EQ(post("/api/playlist/load", R"({"name":"absent"})").status, 404);
    EXPECT_EQ(post("/api/playlist/repeat", R"({"index":0,"count":-1})").status, 400);
    EXPECT_EQ(playlistNames(), (QStringList{"a.mp4", "b.flac"}));
    EXPECT_EQ(entriesOf(resources.path()), QStringList{"digital-7.ttf"}) << "nothing written beside the folders";
}

TEST_F(WebServerTest, UploadsAreWholeOrAbsent)
{
    const QByteArray clip = readFile(video);
    EXPECT_EQ(jsonOf(upload("clips/first.mp4", clip))["size"].toDouble(), clip.size());
    EXPECT_EQ(readFile(media + "/clips/first.mp4"), clip);
    EXPECT_EQ(jsonOf(get("/api/media"))[0]["name"], "clips/first.mp4");

    EXPECT_EQ(upload("clips/first.mp4", "other").status, 409);
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
TEST_F(WebServerTest, EditsNameTheirTrackAndBrokenFilesCanBeSeenAndDeleted)
{
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

    EXPECT_FALSE(jsonOf(upload("broken.mp4", "not a video at all"))["reason"].toString().isEmpty());
    EXPECT_EQ(jsonOf(upload("copy.flac", readFile(tone)))["playable"], true);
    EXPECT_EQ(jsonOf(get("/api/media"))[2]["playable"], false);
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

// The assembly with a console sending to it, and the stores the web server reads.
struct ConsoleRig : WiredController {
    UdpPeer console;
    SettingsManager settings;
    VideoEffectsManager effects;

    void send(int control) { console.sendTo(artNetPort, artDmx(0, 0, 0, dmxFrame({control}))); }
};

} // namespace

class LibraryWithConsoleTest : public WebServerTest {
protected:
    ConsoleRig console;
};

TEST_F(LibraryWithConsoleTest, UploadsDoNotDisturbTheConsoleOrOtherClients)
{
    console.settings.setMediaFolder(media);
    WebServer::Options options = this->options(resources.path());
    options.settings = &console.settings;
    options.effects = &console.effects;
    // The fixture's short timeout is for the tests of slow clients; an upload on a busy machine
    // may take longer than that.
    options.requestTimeout = 3s;
    server = startWebServer(options, {&console.engine, &console.controller, &console.manager, {}, {}});
    port = server->port();
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
    EXPECT_EQ(jsonOf(get("/api/status"))["trackName"], "one.mp4");
    EXPECT_TRUE(select(21, tracks[1]));
    EXPECT_TRUE(uploading) << "the console was served while the upload ran";

    ASSERT_TRUE(waitUntil([&] { return bigUpload.wait_for(0ms) == std::future_status::ready; }, 30s));
    EXPECT_EQ(bigUpload.get().status, 200);
    EXPECT_EQ(QFileInfo(media + "/big.mp4").size(), static_cast<qint64>(uploadSize));
}
