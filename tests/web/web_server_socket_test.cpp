// Protects the web remote over real TCP on loopback: the exact answer framing, every route,
// the failure statuses, and that slow, split, oversize, hostile or random requests never hang,
// crash or get a wrong status.
#include "WebClient.h"
#include "WebTestSupport.h"

#include "support/MediaFiles.h"
#include "web/WebPages.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

using Headers = std::vector<std::string>;

class WebServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        rig.remote.setTransportMinInterval(0);
        for (const auto& [relative, bytes] : {std::pair{"digital-7.ttf", QByteArray::fromStdString(font)},
                                              {"Fixtures/My Profile.xml", "<fixture/>"},
                                              {"Fixtures/desk.cha", "patch"},
                                              {"secret.txt", "secret"}})
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
                .playlistsFolder = {}};
    }
    std::unique_ptr<WebServer> startServer(const QString& folder, const WebServices& services)
    {
        return startWebServer(options(folder), services);
    }

    Answer get(const std::string& path) { return call(port, "GET", path); }
    Answer post(const std::string& path, const std::string& body) { return call(port, "POST", path, body); }
    bool allClosed()
    {
        return waitUntil([&] { return server->connectionCount() == 0; });
    }

    const std::string font{"\0\1\0\0font", 8};
    ServiceRig rig;
    QTemporaryDir resources;
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
    EXPECT_EQ(get("/index.html").body, WebPages::remote());
    EXPECT_EQ(server->serverURL(), QStringLiteral("http://localhost:%1").arg(port));

    const Answer fontAnswer = get("/font/digital-7.ttf");
    EXPECT_EQ(fontAnswer.body, font);
    EXPECT_EQ(fontAnswer.headers, (Headers{"Content-Type: font/ttf", "Content-Length: 8",
                                           "Cache-Control: public, max-age=31536000", "Connection: close"}));

    rig.setTracks({"Intro", "Café ☕", "Finale"});
    const std::string html = "text/html", json = "application/json";
    for (const auto& [path, type, fragment] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"/playlist.html", html, "<title>Playlist - Orvelo</title>"},
             {"/settings.html", html, "<title>Settings - Orvelo</title>"},
             {"/effects.html", html, "<title>Effects - Orvelo</title>"},
             {"/fixtures.html", html, R"(href="/fixtures/My%20Profile.xml")"},
             {"/fixtures/My%20Profile.xml", "application/octet-stream", "<fixture/>"},
             {"/fixtures/orvelo.json", json, R"("shortName": "18ch")"},
             {"/api/status", json, R"("trackName":"No Track")"},
             {"/api/playlist", json, R"("index":1,"isCurrent":false,"missing":true,"name":"Café ☕")"},
             {"/api/config/artnet", json, R"({"channel":1,"net":0,"subnet":0,"universe":0})"},
             {"/api/settings", json, R"("current":"onyx_dark")"},
             {"/api/effects", json, R"("selected":"Black Screen")"}}) {
        const Answer answer = get(path);
        EXPECT_EQ(answer.status, 200) << path;
        EXPECT_EQ(headerValue(answer, "Content-Type"), type) << path;
        EXPECT_EQ(headerValue(answer, "Content-Length"), std::to_string(answer.body.size())) << path;
        EXPECT_NE(answer.body.find(fragment), std::string::npos) << path << ": " << answer.body.substr(0, 300);
    }
    // Only files are cached.
    EXPECT_EQ(headerValue(get("/fixtures/My%20Profile.xml"), "Cache-Control"), "public, max-age=31536000");
    EXPECT_EQ(headerValue(get("/api/status"), "Cache-Control"), "");
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
        EXPECT_EQ(post(asset->path, "{}").status, 404) << asset->path;
    }
    EXPECT_NE(WebAsset::versioned("pages", "css", "text/css", "a {}").path,
              WebAsset::versioned("pages", "css", "text/css", "b {}").path);
    EXPECT_EQ(get("/assets/pages.0000000000000000.js").status, 404);

    // No page keeps a copy of its own.
    const std::string head = "<link rel=\"stylesheet\" href=\"" + WebPages::styleSheet().path + "\">\n<script src=\"" +
                             WebPages::script().path + "\"></script>\n<title>";
    for (const char* path :
         {"/", "/playlist.html", "/settings.html", "/effects.html", "/fixtures.html", "/login.html"}) {
        const std::string page = get(path).body;
        EXPECT_NE(page.find(head), std::string::npos) << path;
        for (const char* copy : {"<style", "const byId", "method: 'POST'"})
            EXPECT_EQ(page.find(copy), std::string::npos) << path << " holds " << copy;
    }
}

TEST_F(WebServerTest, FixtureNamesCannotLeaveTheirFolder)
{
    for (const char* path :
         {"/fixtures/..%2Fsecret.txt", "/fixtures/../secret.txt", "/fixtures/%2E%2E%2Fsecret.txt",
          "/fixtures/..%5Csecret.txt", "/fixtures/", "/fixtures/..", "/fixtures/%2Fetc%2Fhostname"}) {
        const Answer answer = get(path);
        EXPECT_EQ(answer.status, 404) << path;
        EXPECT_EQ(answer.body.find("secret\n"), std::string::npos);
        EXPECT_EQ(answer.body.rfind("Fixture file not found: ", 0), 0u) << path;
    }
    EXPECT_EQ(get("/fixtures/..%2Fsecret.txt").body, "Fixture file not found: ../secret.txt");
    // A broken escape is looked up as written.
    EXPECT_EQ(get("/fixtures/100%25%zz").body, "Fixture file not found: 100%25%zz");
    // Multi-byte names are counted in bytes: 33 characters.
    const Answer accented = get("/fixtures/caf%C3%A9%E2%98%95.xml");
    EXPECT_EQ(accented.body, "Fixture file not found: café☕.xml");
    EXPECT_EQ(headerValue(accented, "Content-Length"), std::to_string(accented.body.size()));
    EXPECT_EQ(accented.body.size(), 36u);
}

TEST_F(WebServerTest, WrongMethodsUnknownPathsAndUnparsableRequests)
{
    const Answer put = call(port, "PUT", "/");
    EXPECT_EQ(put.statusLine, "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(put.body, "Method Not Allowed");
    EXPECT_EQ(headerValue(put, "Content-Length"), "18");
    EXPECT_EQ(headerValue(put, "Content-Type"), "text/plain");
    EXPECT_EQ(get("/api/status?x=1").body, "Not Found");
    // Methods, queries and the other routes' paths are in the random requests below.
    for (const char* path : {"/index.html#top", "/nothing", "", "/api/"})
        EXPECT_EQ(get(path).status, 404) << path;
    EXPECT_EQ(post("/api/unknown", "not even json").status, 404);

    // Unreadable requests are answered too; a single word counts once the client has ended its
    // side, and a head whose lines end in bare line feeds is refused rather than guessed at.
    for (const auto& [text, halfClose] :
         std::vector<std::pair<std::string, bool>>{{"GET\r\n\r\n", false},
                                                   {"GET /caf\xe9 HTTP/1.1\r\n\r\n", false},
                                                   {"\r\n\r\n", false},
                                                   {"GET", true},
                                                   {"GET / HTTP/1.1\nHost: 127.0.0.1\n\n", false},
                                                   {"POST /api/control HTTP/1.1\r\nHost: a\n\r\n", false}}) {
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
    const Answer font = call(bare->port(), "GET", "/font/digital-7.ttf");
    EXPECT_EQ(font.status, 404);
    EXPECT_EQ(font.body, "Font not found");
    // Without console files the page still offers the player's own profile and chart.
    const std::string page = call(bare->port(), "GET", "/fixtures.html").body;
    EXPECT_NE(page.find(R"(href="/fixtures/orvelo.json")"), std::string::npos);

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
    EXPECT_TRUE(waitUntil([&] { return rig.trackNames() == QStringList({"B", "A", "C"}); }));
    EXPECT_EQ(post("/api/playlist/reorder", R"({"index":1,"direction":"left"})").status, 200);

    rig.engine->setIsPlaying(true);
    EXPECT_EQ(post("/api/control", R"({"command":"prev"})").status, 200);
    EXPECT_TRUE(waitUntil([&] { return !rig.engine->isPlaying(); }));

    DMXConfig config;
    config.universe = 9;
    config.startChannel = 300;
    rig.controller->setDmxConfig(config);
    EXPECT_EQ(post("/api/config/artnet", "{}").status, 200);
    EXPECT_TRUE(waitUntil([&] { return rig.controller->dmxConfig().startChannel == 1; }));
    EXPECT_EQ(rig.controller->dmxConfig().universe, 0);

    const std::string settings = R"({"dmx":{"startChannel":5,"channel":9},"playback":{"autoPlayNext":true}})";
    EXPECT_EQ(post("/api/settings", settings).status, 200);
    EXPECT_TRUE(waitUntil([&] { return rig.controller->autoPlayNext(); }));
    EXPECT_EQ(rig.controller->dmxConfig().startChannel, 5);

    EXPECT_EQ(post("/api/effects", R"({"video":{"saturation":0.5},"rgb":{"blueEnabled":false}})").status, 200);
    EXPECT_TRUE(waitUntil([&] { return !rig.effects.blueEnabled(); }));
    EXPECT_EQ(rig.effects.saturation(), 0.5f);
    EXPECT_EQ(post("/api/playlist/play", R"({"index":7})").status, 200);
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
    for (int i = 0; i < 4; ++i)
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
    using Bodies = std::vector<std::string>;
    for (const auto& [path, bodies] : std::vector<std::pair<std::string, Bodies>>{
             {"/api/playlist/play", {R"({"index":"2"})", R"({"index":1.5})", "{}"}},
             {"/api/playlist/reorder", {R"({"index":1})"}},
             {"/api/control", {R"({"command":true})", R"(["play"])"}},
             {"/api/settings", {"not json"}},
             {"/api/effects", {""}},
             {"/api/config/artnet", {"42"}}})
        for (const std::string& body : bodies) {
            const Answer answer = post(path, body);
            EXPECT_EQ(answer.statusLine, "HTTP/1.1 400 Bad Request") << path << " " << body;
            EXPECT_EQ(answer.body, "Invalid JSON") << path << " " << body;
        }
    // A head that never ends has no body at all.
    const Answer unterminated =
        parseAnswer(exchange(port, {{"POST /api/control HTTP/1.1\r\nHost: 127.0.0.1\r\n"}}, true).received);
    EXPECT_EQ(unterminated.status, 400);
    EXPECT_EQ(unterminated.body, "Bad Request");
}

TEST_F(WebServerTest, BodyInALaterSegmentIsRead)
{
    const std::string whole = request("POST", "/api/settings", R"({"playback":{"ignoreDMX":true}})");
    const std::size_t headEnd = whole.find("\r\n\r\n") + 4;
    const Exchange raw = exchange(
        port, {{whole.substr(0, headEnd)}, {whole.substr(headEnd, 7), 150ms}, {whole.substr(headEnd + 7), 150ms}});
    EXPECT_EQ(parseAnswer(raw.received).body, R"({"status":"ok"})");
    EXPECT_TRUE(waitUntil([&] { return rig.controller->ignoreDMX(); }));
}

TEST_F(WebServerTest, OversizeRequestsAre413)
{
    const Exchange raw = exchange(port, {{request("POST", "/api/settings", std::string(70000, 'x'))}});
    const Answer answer = parseAnswer(raw.received);
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 413 Payload Too Large");
    EXPECT_EQ(answer.body, "Payload Too Large");
    EXPECT_TRUE(raw.closedByServer);
    const std::string endlessHead = "GET / HTTP/1.1\r\nX-Pad: " + std::string(70000, 'p');
    EXPECT_EQ(parseAnswer(exchange(port, {{endlessHead}}).received).status, 413);

    // Just inside the limit is served.
    const std::size_t headSize = request("POST", "/api/effects", std::string(60000, ' ')).find("\r\n\r\n") + 4;
    const std::string fits = request("POST", "/api/effects", "{}" + std::string(65536 - headSize - 2, ' '));
    ASSERT_EQ(fits.size(), 65536u);
    EXPECT_EQ(parseAnswer(exchange(port, {{fits}}).received).status, 200);
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
    const std::string shortBody = request("POST", "/api/control", R"({"command":"stop"})").substr(0, 90);
    EXPECT_EQ(parseAnswer(exchange(port, {{shortBody}}, false, 3000ms).received).status, 408);
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

TEST_F(WebServerTest, ManyClientsAtOnce)
{
    const auto statuses = served(
        [&] {
            std::vector<std::future<Exchange>> clients;
            for (int i = 0; i < 64; ++i) {
                const std::vector<Piece> pieces{{request("GET", i % 2 ? "/api/status" : "/")}};
                clients.push_back(std::async(std::launch::async, rawExchange, port, pieces, false, 5000ms));
            }
            std::vector<int> seen;
            for (auto& client : clients)
                seen.push_back(parseAnswer(client.get().received).status);
            return seen;
        },
        10000ms);
    EXPECT_EQ(statuses, std::vector<int>(64, 200));
}

// Random requests, built from the route table's vocabulary and some noise, each checked
// against the status the rules give it.
TEST_F(WebServerTest, RandomRequestsGetTheRightStatus)
{
    rig.setTracks({"A", "B"});
    std::mt19937 random(1234567);
    const auto pick = [&](const auto& list) { return list[random() % list.size()]; };
    const auto words = [](const std::string& text) {
        std::vector<std::string> list;
        for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1)
            list.push_back(text.substr(at, (end = text.find(' ', at)) - at));
        return list;
    };
    const auto methods = words("GET GET POST POST PUT get DELETE HEAD ");
    const auto getPaths = words("/ /index.html /playlist.html /settings.html /effects.html /fixtures.html "
                                "/font/digital-7.ttf /fixtures/desk.cha /api/status /api/playlist /api/config/artnet "
                                "/api/settings /api/effects");
    const auto postPaths =
        words("/api/control /api/playlist/play /api/playlist/reorder /api/config/artnet /api/settings /api/effects");
    const auto bodies = words(R"( {} [] garbage {"command":"stop"} {"index":1} {"index":1,"direction":"up"} )"
                              R"({"index":"1","direction":"up"} {"playback":{"autoPlayNext":false}} )"
                              "{\"rgb\":{\"redEnabled\":true}} {\"command\":\"caf\xc3\xa9\"}");
    const auto listed = [](const auto& list, const std::string& path) {
        return std::find(list.begin(), list.end(), path) != list.end();
    };
    // What the rules answer a readable request.
    const auto expectedStatus = [&](const std::string& method, const std::string& path, const std::string& body) {
        if (method == "GET")
            return listed(getPaths, path) ? 200 : 404;
        if (method != "POST")
            return 405;
        if (!listed(postPaths, path))
            return 404;
        const auto json = QJsonDocument::fromJson(QByteArray::fromStdString(body));
        const QJsonObject o = json.object();
        bool valid = json.isObject();
        if (path == "/api/control")
            valid = valid && o["command"].isString();
        if (path == "/api/playlist/play")
            valid = valid && o["index"].isDouble();
        if (path == "/api/playlist/reorder")
            valid = valid && o["index"].isDouble() && o["direction"].isString();
        return valid ? 200 : 400;
    };

    for (int round = 0; round < 300; ++round) {
        const std::string method = pick(methods);
        std::string path = random() % 2 ? pick(getPaths) : pick(postPaths);
        const int mutation = static_cast<int>(random() % 10);
        if (mutation == 0)
            path += "?v=" + std::to_string(random() % 100);
        else if (mutation == 1)
            path = "/fixtures/" + std::to_string(random() % 1000) + "%2F..";
        const std::string body = (method == "POST" || random() % 5 == 0) ? pick(bodies) : std::string();
        const bool brokenUtf8 = random() % 25 == 0;
        const bool oneWord = random() % 25 == 0;
        const std::string text =
            oneWord ? method + "\r\n\r\n" : request(method, brokenUtf8 ? path + "\xff" : path, body);
        const int expected = oneWord || brokenUtf8 ? 400 : expectedStatus(method, path, body);

        // Cut the request at random places, with short pauses between the pieces.
        std::vector<Piece> pieces;
        for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
            n = random() % 3 == 0 ? text.size() - at : 1 + random() % (text.size() - at);
            pieces.push_back({text.substr(at, n), std::chrono::milliseconds(random() % 3 == 0 ? random() % 20 : 0)});
        }
        const Exchange raw = exchange(port, pieces, false, 3000ms);
        ASSERT_TRUE(raw.closedByServer) << "round " << round << ": " << text;
        const Answer answer = parseAnswer(raw.received);
        ASSERT_NE(answer.status, 0) << "round " << round << ": " << text;
        EXPECT_EQ(answer.status, expected) << "round " << round << ": " << text;
        EXPECT_EQ(headerValue(answer, "Content-Length"), std::to_string(answer.body.size()));
        EXPECT_EQ(answer.headers.back(), "Connection: close");
    }
    EXPECT_TRUE(allClosed());
}

// The remote driving real playback: what plays, what is current, and the transport.
TEST_F(WebServerTest, TransportOnRealMedia)
{
    const QString wav = QString::fromStdString(MediaFiles::tone("wav", 2000));
    ASSERT_FALSE(wav.isEmpty());
    const auto track = [&](const char* name) {
        return MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile(wav), name, 0.0, 1};
    };
    rig.controller->playlist().setPlaylist({track("First"), track("Second")});
    const auto command = [&](const char* name) {
        return post("/api/control", std::string(R"({"command":")") + name + "\"}").status;
    };
    const auto current = [&] {
        const QJsonArray playlist = jsonOf(get("/api/playlist")).array();
        return std::pair{playlist[0]["isCurrent"].toBool(), playlist[1]["isCurrent"].toBool()};
    };
    const auto playing = [&](bool wanted) {
        return waitUntil([&] { return rig.engine->isPlaying() == wanted; }, 5000ms);
    };

    EXPECT_EQ(post("/api/playlist/play", R"({"index":0})").status, 200);
    ASSERT_TRUE(playing(true));
    const QJsonDocument status = jsonOf(get("/api/status"));
    EXPECT_EQ(status["trackName"].toString(), "First");
    EXPECT_EQ(status["isPlaying"], true);
    EXPECT_NEAR(status["duration"].toDouble(), 2.0, 0.1);
    EXPECT_EQ(current(), std::pair(true, false));

    EXPECT_EQ(command("next"), 200);
    const auto playingName = [&] { return rig.engine->currentTrack() ? rig.engine->currentTrack()->name : QString(); };
    ASSERT_TRUE(waitUntil([&] { return playingName() == "Second"; }, 5000ms));
    ASSERT_TRUE(playing(true));
    EXPECT_EQ(current(), std::pair(false, true));

    EXPECT_EQ(command("pause"), 200);
    ASSERT_TRUE(playing(false));
    const double pausedAt = rig.engine->currentTime();
    test::spinFor(200ms); // a paused position stays put
    EXPECT_NEAR(jsonOf(get("/api/status"))["currentTime"].toDouble(), pausedAt, 0.05);

    EXPECT_EQ(command("play"), 200);
    ASSERT_TRUE(playing(true));
    EXPECT_EQ(command("stop"), 200);
    ASSERT_TRUE(waitUntil([&] { return !rig.engine->isPlaying() && rig.engine->currentTime() == 0.0; }));
}
