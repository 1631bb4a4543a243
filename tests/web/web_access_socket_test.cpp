// Protects the web remote's doors over real TCP: what a foreign site, an unknown host name, a
// client without a session, a viewer, a script's token and a password guesser each get, route
// by route; the media folder kept inside its roots; transport pacing; the chosen interface.
#include "WebClient.h"
#include "WebTestSupport.h"

#include "web/WebPages.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

class WebAccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        rig.remote.setTransportMinInterval(0);
        server = startWebServer({.port = 0,
                                 .resourceFolders = {},
                                 .settings = &rig.settings,
                                 .effects = &rig.effects,
                                 .remote = &rig.remote,
                                 .playlistsFolder = {}},
                                rig.services());
    }

    Answer send(const std::string& method, const std::string& path, const std::string& body = {},
                const std::string& headers = {})
    {
        return call(server->port(), method, path, body, headers);
    }

    // The "Cookie:" header line that returns a Set-Cookie answer's session.
    static std::string cookieOf(const Answer& answer)
    {
        const std::string value = headerValue(answer, "Set-Cookie");
        return "Cookie: " + value.substr(0, value.find(';')) + "\r\n";
    }

    ServiceRig rig;
    std::unique_ptr<WebServer> server;
};

} // namespace

TEST_F(WebAccessTest, WithoutAPasswordEverythingWorksButForeignSitesAndNames)
{
    EXPECT_EQ(jsonOf(send("GET", "/api/session")).object(),
              (QJsonObject{{"role", "operator"}, {"passwordSet", false}}));
    const std::string own = "Origin: http://127.0.0.1:" + std::to_string(server->port()) + "\r\n";
    const std::string ignore = R"({"playback":{"ignoreDMX":true}})";
    EXPECT_EQ(send("POST", "/api/settings", ignore, "Origin: http://evil.example\r\n").status, 403);
    EXPECT_EQ(send("POST", "/api/settings", ignore, "Referer: http://evil.example/attack.html\r\n").status, 403);
    // A foreign page's form posts text; the same from our own origin must still be JSON.
    const std::string form = "POST /api/settings HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server->port()) +
                             "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(ignore.size()) +
                             "\r\n";
    EXPECT_EQ(parseAnswer(exchange(server->port(), {{form + own + "\r\n" + ignore}}).received).status, 415);
    EXPECT_EQ(parseAnswer(exchange(server->port(), {{form + "\r\n" + ignore}}).received).status, 200); // a script
    EXPECT_TRUE(waitUntil([&] { return rig.controller->ignoreDMX(); }));
    const std::string rebound = "GET /api/status HTTP/1.1\r\nHost: attacker.example:8080\r\n\r\n";
    EXPECT_EQ(parseAnswer(exchange(server->port(), {{rebound}}).received).status, 421);
    EXPECT_EQ(headerValue(send("GET", "/"), "Access-Control-Allow-Origin"), "");
}

TEST_F(WebAccessTest, WithAPasswordEveryRouteAsksWhoIsCalling)
{
    const Answer set = send("POST", "/api/access/password", R"({"password":"stage door"})");
    ASSERT_EQ(set.status, 200);
    const std::string operatorCookie = cookieOf(set);
    const QJsonObject token =
        jsonOf(send("POST", "/api/access/tokens", R"({"name":"Console macro"})", operatorCookie)).object();
    const std::string bearer = "Authorization: Bearer " + token["token"].toString().toStdString() + "\r\n";
    const QString link = jsonOf(send("GET", "/api/access", {}, operatorCookie))["viewerLink"].toString();
    ASSERT_TRUE(link.startsWith("http://127.0.0.1/login.html#viewer=")); // the host the client used
    const std::string viewerKey = link.section("#viewer=", 1).toStdString();
    const std::string viewerCookie = cookieOf(send("POST", "/api/login", R"({"viewerKey":")" + viewerKey + R"("})"));

    const std::string stop = R"({"command":"stop"})";
    const std::vector<std::tuple<std::string, std::string, std::string, std::string, int>> cases{
        {"GET", "/", "", "", 302},
        {"GET", "/login.html", "", "", 200},
        {"GET", WebPages::styleSheet().path, "", "", 200}, // the login page's too
        {"GET", WebPages::script().path, "", "", 200},
        {"GET", "/api/session", "", "", 200},
        {"GET", "/api/status", "", "", 401},
        {"POST", "/api/control", stop, "", 401},
        {"PUT", "/api/media/clip.mp4", "data", "", 401},
        {"GET", "/api/status", "", viewerCookie, 200},
        {"GET", "/playlist.html", "", viewerCookie, 200},
        {"POST", "/api/control", stop, viewerCookie, 403},
        {"POST", "/api/settings", "{}", viewerCookie, 403},
        {"POST", "/api/effects", "{}", viewerCookie, 403},
        {"PUT", "/api/media/clip.mp4", "data", viewerCookie, 403},
        {"GET", "/api/access", "", viewerCookie, 403},
        {"GET", "/api/status", "", bearer, 200},
        {"POST", "/api/control", stop, bearer, 200},
        {"GET", "/api/access/viewer-qr.svg", "", operatorCookie, 200},
        {"GET", "/api/status", "", "Cookie: orvelo_session=forged\r\n", 401},
    };
    for (const auto& [method, path, body, credential, status] : cases)
        EXPECT_EQ(send(method, path, body, credential).status, status) << method << " " << path << " " << credential;
    EXPECT_EQ(headerValue(send("GET", "/settings.html"), "Location"), "/login.html");
    EXPECT_EQ(jsonOf(send("GET", "/api/session", {}, viewerCookie)).object(),
              (QJsonObject{{"role", "viewer"}, {"passwordSet", true}}));

    // Guessing is slowed down for the guessing address.
    EXPECT_EQ(send("POST", "/api/login", R"({"password":"guess"})").status, 401);
    const Answer held = send("POST", "/api/login", R"({"password":"stage door"})");
    EXPECT_EQ(held.status, 429);
    EXPECT_EQ(headerValue(held, "Retry-After"), "1");

    // A change takes the current password and ends every other session; revoked tokens stop.
    EXPECT_EQ(send("POST", "/api/access/password", R"({"password":"x"})", operatorCookie).status, 403);
    const Answer changed =
        send("POST", "/api/access/password", R"({"password":"new door","current":"stage door"})", operatorCookie);
    ASSERT_EQ(changed.status, 200);
    EXPECT_EQ(send("GET", "/api/status", {}, operatorCookie).status, 401);
    EXPECT_EQ(send("GET", "/api/status", {}, viewerCookie).status, 401);
    EXPECT_EQ(send("GET", "/api/status", {}, cookieOf(changed)).status, 200);
    EXPECT_EQ(send("POST", "/api/access/tokens/revoke", R"({"name":"Console macro"})", cookieOf(changed)).status, 200);
    EXPECT_EQ(send("GET", "/api/status", {}, bearer).status, 401);
}

TEST_F(WebAccessTest, MediaFolderOnlyInsideTheLibraryRoots)
{
    QTemporaryDir elsewhere;
    const std::string outside = R"({"library":{"mediaFolder":")" + elsewhere.path().toStdString() + R"("}})";
    const Answer refused = send("POST", "/api/settings", outside);
    EXPECT_EQ(refused.status, 400);
    EXPECT_NE(refused.body.find("library root"), std::string::npos);
    EXPECT_EQ(send("POST", "/api/settings", R"({"library":{"mediaFolder":"/"}})").status, 400);
    EXPECT_EQ(rig.settings.mediaFolder(), SettingsManager::defaultMediaFolder());

    ASSERT_EQ(rig.remote.addLibraryRoot(elsewhere.path()), std::nullopt);
    EXPECT_EQ(send("POST", "/api/settings", outside).status, 200);
    EXPECT_EQ(rig.settings.mediaFolder(), elsewhere.path());
}

TEST_F(WebAccessTest, TransportCommandsCloserThanTheIntervalAreIgnored)
{
    rig.remote.setTransportMinInterval(0.5);
    EXPECT_EQ(send("POST", "/api/control", R"({"command":"next"})").body, R"({"status":"ok"})");
    // When the next command is let through again is TransportPacer's own test.
    EXPECT_EQ(jsonOf(send("POST", "/api/playlist/play", R"({"index":0})"))["status"], "ignored");
}

TEST_F(WebAccessTest, ListensOnTheChosenInterfaceAndLoopbackOnly)
{
    const auto reachable = [&](const char* host) {
        const int fd = connectTo(server->port(), host);
        ::close(fd);
        return fd >= 0;
    };
    EXPECT_TRUE(reachable("10.254.0.2"));
    rig.remote.setInterfaceName("orvelo-absent0");
    ASSERT_TRUE(waitUntil([&] { return !reachable("10.254.0.2") && reachable("127.0.0.1"); }));
    rig.remote.setInterfaceName("show0");
    EXPECT_TRUE(waitUntil([&] { return reachable("10.254.0.2") && reachable("127.0.0.1"); }));
    EXPECT_EQ(send("GET", "/api/status").status, 200);
}
