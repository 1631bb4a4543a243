// Request framing and text checks the socket tests cannot state as exactly, shared main-thread
// document builds, and the addresses a headless player logs for the remote.
#include "web/DocumentBatch.h"
#include "web/HttpRequest.h"
#include "web/HttpRequestFramer.h"
#include "web/HttpResponse.h"
#include "web/RemoteURLs.h"
#include "web/UrlText.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace orvelo;
using State = HttpRequestFramer::State;
using Strings = std::vector<std::string>;

namespace {

std::string postWithBody(const std::string& body)
{
    return "POST /api/control HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace

TEST(HttpRequest, Utf8IsCheckedStrictly)
{
    for (const std::string& text :
         {std::string("plain"), std::string("Café ☕ \xF0\x9F\x8E\xAD"), std::string("nul\0inside", 10)})
        EXPECT_TRUE(isValidUtf8(text)) << text;
    // Overlong '/', a surrogate, above U+10FFFF, cut short, a lone continuation byte.
    for (const char* text : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x98", "\x80"})
        EXPECT_FALSE(isValidUtf8(text)) << text;
    EXPECT_EQ(printableForLog("/a\nWebServer: forged\r\x1b"), "/a?WebServer: forged??");
}

TEST(HttpRequestFramer, HeadWithoutLengthIsCompleteAtItsBlankLineOrAtTheEndOfTheStream)
{
    HttpRequestFramer framer;
    EXPECT_EQ(framer.append("GET / HTTP/1.1\r\nHost: a\r"), State::incomplete);
    EXPECT_EQ(framer.append("\n\r"), State::incomplete);
    EXPECT_EQ(framer.append("\nextra bytes"), State::complete);
    EXPECT_EQ(framer.request(), "GET / HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(framer.append("more"), State::complete);

    HttpRequestFramer ended;
    EXPECT_EQ(ended.append("POST /api/control HTTP/1.1\r\n"), State::incomplete);
    EXPECT_EQ(ended.finish(), State::complete);
    EXPECT_EQ(ended.request(), "POST /api/control HTTP/1.1\r\n");
    EXPECT_EQ(HttpRequestFramer().finish(), State::incomplete);
    HttpRequestFramer shortBody;
    EXPECT_EQ(shortBody.append(postWithBody("{\"command\":\"stop\"}").substr(0, 100)), State::incomplete);
    EXPECT_EQ(shortBody.finish(), State::malformed);
}

TEST(HttpRequestFramer, ContentLengthHeader)
{
    const std::string line = "POST / HTTP/1.1\r\n";
    EXPECT_EQ(contentLength(line + "content-LENGTH:  12 \r\n\r\n"), 12u);
    EXPECT_EQ(contentLength(line + "Host: a\r\nContent-Length: 0\r\n\r\n"), 0u);
    for (const char* header : {"Host: a\r\n", "Content-Length: -3\r\n", "Content-Length:\r\n"})
        EXPECT_EQ(contentLength(line + header + "\r\n"), std::nullopt) << header;
    EXPECT_EQ(contentLength("Content-Length: 5\r\n\r\n"), std::nullopt) << "the request line is no header";
    // A length past any integer is refused, not wrapped around.
    EXPECT_EQ(HttpRequestFramer().append(line + "Content-Length: 99999999999999999999999\r\n\r\n"), State::tooLarge);
}

TEST(HttpRequestFramer, RandomBytesNeverBreakTheFramerOrTheParser)
{
    std::mt19937 random(77);
    const std::string pieces[] = {
        "\r\n", "\r\n\r\n", " ", "GET", "/", "Content-Length: ", "9", "65536", "\xff", "\xe2\x98"};
    for (int round = 0; round < 2000; ++round) {
        HttpRequestFramer framer;
        for (int p = random() % 40; p > 0 && framer.state() == State::incomplete; --p)
            framer.append(random() % 4 ? pieces[random() % std::size(pieces)]
                                       : std::string(random() % 20, char(random())));
        framer.finish();
        ASSERT_LE(framer.request().size(), HttpRequestFramer::maxRequestBytes + 1);
        const auto request = framer.state() == State::complete ? HttpRequest::parse(framer.request()) : std::nullopt;
        EXPECT_TRUE(!request || (request->method.find(' ') == std::string::npos && isValidUtf8(request->raw)));
    }
}

TEST(UrlText, PercentDecodingFailsOnBrokenEscapesAndPathEncodingKeepsPathCharacters)
{
    EXPECT_EQ(UrlText::percentDecoded("caf%C3%A9"), QStringLiteral("café"));
    EXPECT_EQ(UrlText::percentDecoded("a+b"), QStringLiteral("a+b"));
    for (const char* broken : {"100%", "%4", "%zz", "%C3"})
        EXPECT_FALSE(UrlText::percentDecoded(broken)) << broken;

    EXPECT_EQ(UrlText::percentEncodedPath("a&b=c@d:e~f(1)"), QStringLiteral("a&b=c@d:e~f(1)"));
    EXPECT_EQ(UrlText::percentEncodedPath("café#?%"), QStringLiteral("caf%C3%A9%23%3F%25"));
    EXPECT_EQ(UrlText::htmlEscaped("<a href=\"x\">'&'"), QStringLiteral("&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;"));
}

TEST(DocumentBatch, WaitingRequestsShareOneBuildUnlessAnActionCameInBetween)
{
    auto context = std::make_unique<QObject>();
    DocumentBatch batch;
    Strings order;
    const auto add = [&](std::uint64_t actionsQueued = 0) {
        batch.add(HttpResponder(), actionsQueued, context.get(), [&] {
            order.push_back("build");
            return HttpResponse::ok();
        });
    };
    const auto runQueued = [&] {
        QCoreApplication::sendPostedEvents();
        const auto done = order;
        order.clear();
        return done;
    };
    const Strings one{"build"};

    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t)
        clients.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                add();
        });
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(runQueued(), one);
    add(); // once a build has run, the next request queues a new one
    EXPECT_EQ(runQueued(), one);

    add(0);
    QMetaObject::invokeMethod(
        context.get(), [&] { order.push_back("action"); }, Qt::QueuedConnection);
    add(1);
    add(1);
    EXPECT_EQ(runQueued(), (Strings{"build", "action", "build"}));

    add();
    context.reset();
    EXPECT_EQ(runQueued(), Strings{}) << "nothing is built once the context is gone";
}

TEST(RemoteURLs, EveryAddressTheServerAnswersOnLoopbackLast)
{
    std::vector<NetworkInterface> interfaces(2);
    interfaces[0].ipAddress = "10.0.0.5";
    interfaces[1].ipAddress = "192.168.1.20";
    EXPECT_EQ(remoteURLs({"0.0.0.0"}, interfaces, 8080),
              (Strings{"http://10.0.0.5:8080/", "http://192.168.1.20:8080/", "http://127.0.0.1:8080/"}));
    EXPECT_EQ(remoteURLs({"10.0.0.5", "127.0.0.1"}, interfaces, 8080),
              (Strings{"http://10.0.0.5:8080/", "http://127.0.0.1:8080/"}));
    EXPECT_EQ(remoteURLs({"0.0.0.0"}, {}, 8080), Strings{"http://127.0.0.1:8080/"});
    EXPECT_EQ(remoteURLs({"127.0.0.1"}, interfaces, 8080), Strings{"http://127.0.0.1:8080/"});
}
