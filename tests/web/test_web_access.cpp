// Who may drive the show through the remote: checks before any route, sessions, tokens, the
// viewer link, slowed password guessing and transport pacing.
#include "platform/Secrets.h"
#include "web/RequestGuard.h"
#include "web/TransportPacer.h"
#include "web/WebAccess.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace orvelo;
using namespace std::chrono_literals;

namespace {

std::string head(const std::string& method, const std::string& headers)
{
    return method + " /api/control HTTP/1.1\r\n" + headers + "\r\n";
}

std::string cookieHeader(const std::string& setCookie)
{
    return "Cookie: theme=dark; " + setCookie.substr(0, setCookie.find(';')) + "\r\n";
}

} // namespace

TEST(RequestGuard, RefusesForeignSitesRebindingAndBrowserFormBodies)
{
    const std::set<std::string, std::less<>> names{"player.local"};
    const std::string json = "Content-Type: application/json; charset=utf-8\r\n";
    const std::vector<std::tuple<std::string, std::string, int>> cases{
        {"POST", "Host: 10.0.0.5:8080\r\n" + json, 0},                                 // a script
        {"POST", "Host: 10.0.0.5:8080\r\nOrigin: http://10.0.0.5:8080\r\n" + json, 0}, // our own page
        {"POST", "Host: Player.Local.:8080\r\nReferer: http://player.local.:8080/x.html\r\n" + json, 0},
        {"GET", "Host: [::1]:8080\r\nOrigin: http://evil.example\r\n", 0}, // reading is not acting
        {"GET", "Host: localhost:8080\r\n", 0},
        {"GET", "", 0}, // HTTP/1.0 scripts
        {"POST", "Host: 10.0.0.5:8080\r\nOrigin: http://evil.example\r\n" + json, 403},
        {"PUT", "Host: 10.0.0.5:8080\r\nReferer: http://evil.example/10.0.0.5:8080\r\n", 403},
        {"POST", "Origin: http://10.0.0.5:8080\r\n" + json, 403}, // nothing to compare with
        {"POST", "Host: 10.0.0.5:8080\r\nOrigin: http://10.0.0.5:8080\r\nContent-Type: text/plain\r\n", 415},
        {"GET", "Host: attacker.example:8080\r\n", 421}, // DNS rebinding
    };
    for (const auto& [method, headers, status] : cases) {
        const auto refusal = RequestGuard::check(method, head(method, headers), names);
        EXPECT_EQ(refusal ? refusal->response.statusCode : 0, status) << method << " " << headers;
    }
}

TEST(WebAccess, OpenUntilAPasswordIsSetThenSessionsTokensAndViewers)
{
    WebAccess access;
    const auto t0 = WebAccess::Clock::now();
    EXPECT_EQ(access.identify(head("GET", ""), t0), AccessRole::operate);

    const std::string token = secrets::randomToken();
    WebAccess::Rules rules{
        *secrets::hashPassword("right"), {{secrets::digest(token), AccessRole::view}}, "viewer-key", 1h};
    access.setRules(rules);
    EXPECT_EQ(access.identify(head("GET", ""), t0), std::nullopt);
    EXPECT_EQ(access.identify(head("GET", "Authorization: Bearer " + token + "\r\n"), t0), AccessRole::view);
    EXPECT_EQ(access.identify(head("GET", "Authorization: Bearer nope\r\n"), t0), std::nullopt);

    const auto login = access.login("right", "", "10.0.0.7", t0);
    EXPECT_NE(login.cookie.find("HttpOnly; SameSite=Strict"), std::string::npos);
    const std::string operatorCookie = cookieHeader(login.cookie);
    const std::string viewerCookie = cookieHeader(access.login("", "viewer-key", "10.0.0.8", t0).cookie);
    EXPECT_EQ(access.identify(head("GET", viewerCookie), t0), AccessRole::view);

    // Use keeps a session alive; an hour without use ends it.
    EXPECT_EQ(access.identify(head("GET", operatorCookie), t0 + 50min), AccessRole::operate);
    EXPECT_EQ(access.identify(head("GET", viewerCookie), t0 + 100min), std::nullopt);

    // A new viewer key ends only viewers' sessions; a new password ends them all.
    const std::string secondViewer = cookieHeader(access.login("", "viewer-key", "10.0.0.8", t0 + 100min).cookie);
    rules.viewerKey = "renewed";
    access.setRules(rules);
    EXPECT_EQ(access.identify(head("GET", secondViewer), t0 + 101min), std::nullopt);
    EXPECT_EQ(access.identify(head("GET", operatorCookie), t0 + 101min), AccessRole::operate) << "kept alive by use";
    EXPECT_EQ(access.login("", "viewer-key", "10.0.0.8", t0 + 102min).status, 401);
    rules.passwordHash = *secrets::hashPassword("new");
    access.setRules(rules);
    EXPECT_EQ(access.identify(head("GET", operatorCookie), t0 + 101min), std::nullopt);

    const std::string restarted = cookieHeader(access.restartSessions(AccessRole::operate, t0));
    EXPECT_EQ(access.identify(head("GET", restarted), t0), AccessRole::operate);
    EXPECT_EQ(access.logout(head("POST", restarted)), "orvelo_session=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    EXPECT_EQ(access.identify(head("GET", restarted), t0), std::nullopt);
}

TEST(WebAccess, FailedLoginsMakeTheirAddressWaitLongerEachTime)
{
    WebAccess access;
    access.setRules({*secrets::hashPassword("right"), {}, "key", 1h});
    auto now = WebAccess::Clock::now();
    std::vector<std::pair<int, int>> answers;
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(access.login("wrong", "", "10.0.0.9", now).status, 401);
        const auto refused = access.login("right", "", "10.0.0.9", now);
        answers.emplace_back(refused.status, refused.retryAfterSeconds);
        now += std::chrono::seconds(refused.retryAfterSeconds);
    }
    EXPECT_EQ(answers, (std::vector<std::pair<int, int>>{{429, 1}, {429, 2}, {429, 4}}));
    // Another address is not held up, and the right password after the wait clears the count.
    EXPECT_EQ(access.login("right", "", "10.0.0.10", now).status, 200);
    EXPECT_EQ(access.login("right", "", "10.0.0.9", now).status, 200);
    EXPECT_EQ(access.login("wrong", "", "10.0.0.9", now).status, 401);
    EXPECT_EQ(access.login("right", "", "10.0.0.9", now + 1s).status, 200);
}

TEST(TransportPacer, CommandsCloserThanTheIntervalAreIgnoredWithoutMovingIt)
{
    TransportPacer pacer;
    const auto t0 = TransportPacer::Clock::now();
    EXPECT_FALSE(pacer.admit(t0, 500ms));
    EXPECT_TRUE(pacer.admit(t0 + 300ms, 500ms));
    EXPECT_TRUE(pacer.admit(t0 + 450ms, 500ms));
    EXPECT_FALSE(pacer.admit(t0 + 500ms, 500ms));
    EXPECT_FALSE(pacer.admit(t0 + 500ms, 0ms));
}
