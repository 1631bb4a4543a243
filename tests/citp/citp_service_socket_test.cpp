// The media server on real sockets: peers, MSEX over UDP and TCP, patches, client limits, and
// thumbnails off the receive thread. UDP is read with pollOnce, so each answer precedes the next line.
#include "citp/CITPPacket.h"
#include "citp/CITPService.h"
#include "net/LightingNetwork.h"

#include "CITPTestSupport.h"
#include "support/ScriptedReceive.h"
#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>
#include <QImage>

#include <netinet/tcp.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <sched.h>
#include <thread>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

class FakePlaylist : public CITPDataSource {
public:
    std::vector<MediaTrack> tracks;
    std::vector<MediaTrack> getPlaylist() const override { return tracks; }
};

class TcpConsole {
public:
    // From 127.0.0.`host`.
    explicit TcpConsole(std::uint16_t port, int host = 1) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const sockaddr_in from = ipv4(0, htonl(INADDR_LOOPBACK - 1 + host));
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&from), sizeof from);
        const sockaddr_in to = ipv4(port, htonl(INADDR_LOOPBACK));
        ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    ~TcpConsole() { close(); }

    void close() { ::close(std::exchange(fd_, -1)); }
    void send(const Bytes& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    Bytes ask(const Bytes& request, std::size_t answerSize)
    {
        send(request);
        return receive(answerSize);
    }

    // Exactly `size` bytes, or what arrived before the time ran out. Runs the event loop, since
    // some answers need the main thread.
    Bytes receive(std::size_t size)
    {
        Bytes got;
        Bytes buffer(65536);
        waitUntil([&] {
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n > 0)
                got.insert(got.end(), buffer.begin(), buffer.begin() + n);
            return got.size() >= size;
        });
        return got;
    }

    // The server closed the connection (end of stream or reset).
    bool closedByServer()
    {
        std::uint8_t byte;
        return waitUntil([&] {
            const ssize_t n = ::recv(fd_, &byte, 1, MSG_DONTWAIT);
            return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        });
    }

private:
    int fd_;
};

Bytes peerLocation(bool full, std::string_view type, std::string_view name)
{
    ByteWriter body;
    body.u16le(6000).cstring(type).cstring(name);
    return full ? fullMessage("PINF", "PLoc", body.data()) : compactMessage("PINF", "PLoc", body.data());
}

Bytes msexRequest(std::string_view code, std::uint8_t index)
{
    return compactMessage("MSEX", code, {0x01, 0x00, index});
}

class CITPServiceSocket : public ::testing::Test {
protected:
    // Ports chosen by the system, no announcements unless asked for, broadcasts kept on loopback.
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        options.udpPort = 0;
        options.tcpPort = 0;
        options.announceInterval = 1h;
        lighting.choose(std::nullopt, "127.255.255.255");
        options.lighting = &lighting;
        options.reading.ownThread = false;
    }

    // A listening service with these options whose playlist holds `names`.
    std::unique_ptr<CITPService> started(const std::vector<QString>& names = {})
    {
        for (const QString& name : names)
            playlist.tracks.push_back(
                MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile("/clips/" + name), name, 0.0, 1});
        auto service = std::make_unique<CITPService>(options);
        service->setDataSource(&playlist);
        service->startListening();
        EXPECT_TRUE(service->isListening());
        return service;
    }

    // The console sends; the server reads it and runs what it posted to the main thread.
    void send(CITPService& service, const Bytes& datagram)
    {
        console.sendTo(service.udpPort(), datagram);
        ASSERT_TRUE(service.pollOnce());
        QCoreApplication::sendPostedEvents();
    }

    LightingNetwork lighting;
    CITPService::Options options;
    FakePlaylist playlist;
    UdpPeer console;
    LogCapture log;
};

} // namespace

TEST_F(CITPServiceSocket, UdpRequestsAreAnsweredOnceAndCountedWithoutTcpUntilAReadFails)
{
    // TCP's port is held by a socket that does not share it: the server still works over UDP.
    PortHolder tcp(0, SOCK_STREAM);
    ScriptedReceive script;
    options.tcpPort = tcp.port();
    options.reading.receive = script.function();
    auto service = started({"Intro.mov", "Loop.mp4"});
    EXPECT_TRUE(log.contains("CITPService: TCP bind failed: Address already in use"));
    ByteWriter patch;
    patch.u16le(2).u16le(12).u16le(3).u16le(101).cstring("Wash").u16le(13).u16le(3).u16le(117).cstring("");
    // An answer that is not due, or comes twice, would be read in place of the next one.
    const std::pair<Bytes, std::optional<Bytes>> exchanges[] = {
        {msexRequest("LInf", 0), citp::buildLayerInfo()},
        {msexRequest("ELin", 1), citp::buildElementInfo(1, "Loop.mp4")},
        {msexRequest("ELin", 5), citp::buildElementInfo(5, "Empty")},
        {msexRequest("SThm", 2), std::nullopt}, // no such element; the request still counts
        {compactMessage("FPTC", "SndP"), citp::buildPatch()},
        {fullMessage("FPTC", "Ptch", patch.data()), std::nullopt},
        {msexRequest("LInf", 0), citp::buildLayerInfo()},
    };
    for (const auto& [request, answer] : exchanges) {
        send(*service, request);
        if (answer) {
            EXPECT_EQ(console.receive(), *answer);
        }
    }

    EXPECT_EQ(service->msexStats(), (MSEXStats{2, 1, 2}));
    ASSERT_EQ(service->packetLogs().size(), 12u) << "7 requests, 5 answers";
    EXPECT_EQ(service->packetLogs().back().direction, "Tx");
    EXPECT_EQ(service->packetLogs().back().source, "To: 127.0.0.1");
    EXPECT_TRUE(log.contains("CITPService: Received SndP request. Replying with Patch."));
    EXPECT_EQ(service->lastReceivedPatch(), "Diff Patch: 2 fixtures. Ex: ID 12 @ U3/101 (Wash)");
    EXPECT_EQ(service->lastReceivedPatchData()->size(), 2u);

    // A read that fails for good leaves it deaf; a start hears again.
    script.fatal = EIO;
    console.sendTo(service->udpPort(), msexRequest("LInf", 0));
    EXPECT_FALSE(service->pollOnce());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(service->isListening());
    EXPECT_EQ(service->errorText(), "Receive error: Input/output error");
    script.fatal = 0;
    service->startListening();
    EXPECT_FALSE(service->error());
    send(*service, msexRequest("LInf", 0));
    EXPECT_EQ(console.receive(), citp::buildLayerInfo());
}

TEST_F(CITPServiceSocket, TcpRequestsSplitOrJoinedAreAnsweredAndCounted)
{
    auto service = started({"a.mov", "b.mov", "c.mov"});
    TcpConsole console(service->tcpPort());
    ASSERT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 1; }));

    const auto ask = [&](const Bytes& request, const Bytes& answer) {
        console.send(request);
        EXPECT_EQ(console.receive(answer.size()), answer);
    };
    ask(fullMessage("MSEX", "CInf"), citp::buildServerInfo());
    ask(compactMessage("MSEX", "CInf"), citp::buildServerInfo());
    ask(fullMessage("MSEX", "GETh"), citp::buildThumbnailAccepted());
    ask(fullMessage("MSEX", "GELI"), citp::buildElementLibraryInfo(3));
    // Neither a PLoc nor an unknown code gets an answer (it would come before the next one);
    // the unknown one still counts.
    console.send(peerLocation(true, "Console", "Desk"));
    console.send(fullMessage("MSEX", "Nope"));
    ask(fullMessage("MSEX", "CInf"), citp::buildServerInfo());

    // A message in two reads, the second carrying the next one too.
    const Bytes request = fullMessage("MSEX", "CInf");
    console.send(Bytes(request.begin(), request.begin() + 10));
    ASSERT_TRUE(waitUntil([&] { return log.contains("CITPService: TCP received 10 bytes from 127.0.0.1"); }));
    ask(cat({Bytes(request.begin() + 10, request.end()), fullMessage("MSEX", "GLIn")}),
        cat({citp::buildServerInfo(), citp::buildLayerInfo()}));

    EXPECT_TRUE(waitUntil([&] {
        return service->msexStats() == MSEXStats{8, 1, 1} && service->packetLogs().back().direction == "Tx/TCP";
    })) << service->msexStats().libraryRequests;
    EXPECT_EQ(service->packetLogs().front().direction, "Rx/TCP");
    EXPECT_EQ(service->packetLogs().back().source, "To: 127.0.0.1");
    console.close();
    EXPECT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 0; }));
}

TEST_F(CITPServiceSocket, MisbehavingTcpClientsAreLimitedAndDropped)
{
    options.maxTcpClients = 2;
    options.tcpIdleTimeout = 1s;
    auto service = started();
    const std::uint16_t port = service->tcpPort();
    const Bytes info = citp::buildServerInfo();

    // Every place taken, the client heard from longest ago gives way: the silent second, not
    // the first, which connected earlier but spoke since.
    TcpConsole first(port);
    TcpConsole second(port);
    ASSERT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 2; }));
    EXPECT_EQ(first.ask(fullMessage("MSEX", "CInf"), info.size()), info);
    TcpConsole third(port);
    EXPECT_TRUE(second.closedByServer());
    EXPECT_TRUE(log.contains("CITPService: TCP connection from 127.0.0.1 gives way to one from 127.0.0.1 "
                             "(all 2 places taken, it was idle longest)"));
    EXPECT_EQ(third.ask(fullMessage("MSEX", "GLIn"), citp::buildLayerInfo().size()), citp::buildLayerInfo());
    EXPECT_EQ(first.ask(fullMessage("MSEX", "CInf"), info.size()), info);

    // A size no message can have ends the connection and frees its place.
    Bytes huge = fullMessage("MSEX", "CInf");
    huge[11] = 0x7F; // the message size's high byte
    first.send(huge);
    EXPECT_TRUE(first.closedByServer());
    ASSERT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 1; }));

    // Clients that went silent are closed after the idle time.
    EXPECT_TRUE(third.closedByServer());
    EXPECT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 0; }));
    EXPECT_TRUE(log.contains("CITPService: Closing idle TCP connection from 127.0.0.1"));
}

TEST_F(CITPServiceSocket, SilentConnectionsFromOneOrManyAddressesCannotLockAConsoleOut)
{
    options.tcpFirstMessageTimeout = 1min; // only giving way frees a place here
    auto service = started();
    const std::uint16_t port = service->tcpPort();
    std::vector<std::unique_ptr<TcpConsole>> silent;

    // Forty from one address: four are let in, the others closed at once.
    for (int i = 0; i < 40; ++i)
        silent.push_back(std::make_unique<TcpConsole>(port));
    EXPECT_TRUE(silent[4]->closedByServer());
    EXPECT_TRUE(silent[39]->closedByServer());
    const std::string refused = "CITPService: TCP connection refused from 127.0.0.1 (4 connections from that address "
                                "already)";
    EXPECT_TRUE(waitUntil([&] { return log.count(refused) == 36 && service->tcpConnectionCount() == 4; }));

    // Forty more from ten addresses overfill the 32 places: the oldest twelve give way.
    for (int i = 0; i < 40; ++i)
        silent.push_back(std::make_unique<TcpConsole>(port, 2 + i / 4));
    for (const std::size_t oldest : {0, 3, 40, 47})
        EXPECT_TRUE(silent[oldest]->closedByServer()) << oldest;
    EXPECT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 32; }));

    // A console still gets in and is answered at once.
    TcpConsole console(port, 200);
    EXPECT_EQ(console.ask(fullMessage("MSEX", "CInf"), citp::buildServerInfo().size()), citp::buildServerInfo());
    EXPECT_TRUE(log.containsPrefix("CITPService: TCP connection from 127.0.0.4 gives way to one from 127.0.0.200 "));
}

TEST_F(CITPServiceSocket, AConnectionThatNeverSpeaksIsClosedSoonOneThatSpokeIsNot)
{
    options.tcpFirstMessageTimeout = 300ms;
    auto service = started();
    const Bytes info = citp::buildServerInfo();
    TcpConsole silent(service->tcpPort());
    TcpConsole talker(service->tcpPort());
    EXPECT_EQ(talker.ask(fullMessage("MSEX", "CInf"), info.size()), info);

    EXPECT_TRUE(silent.closedByServer());
    EXPECT_TRUE(log.contains("CITPService: Closing silent TCP connection from 127.0.0.1 (nothing received in 300 ms)"));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(talker.ask(fullMessage("MSEX", "CInf"), info.size()), info);
    EXPECT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 1; }));
}

TEST_F(CITPServiceSocket, ThumbnailsAreMadeOffTheReceiveThread)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    options.thumbnails = CITPThumbnailMaker([released](const QString&, QSize maxSize) {
        released.wait();
        return VideoSnapshot{QImage(160, 80, QImage::Format_RGB32).scaled(maxSize, Qt::KeepAspectRatio), {}};
    });
    auto service = started({"green.mov"});

    send(*service, msexRequest("SThm", 0));
    // While that thumbnail is being made, other requests are answered.
    send(*service, msexRequest("LInf", 0));
    EXPECT_EQ(console.receive(), citp::buildLayerInfo());
    release.set_value();

    std::optional<Bytes> reply;
    ASSERT_TRUE(waitUntil([&] { return (reply = console.receive(0ms)).has_value(); }));
    // The reply of an empty picture, then the JPEG with its length.
    const Bytes header = citp::buildThumbnail(0, {}).value();
    ASSERT_EQ(reply->size(), header.size() + ((*reply)[27] | ((*reply)[28] << 8)));
    EXPECT_TRUE(std::equal(header.begin(), header.end() - 2, reply->begin()));
    const int length = static_cast<int>(reply->size() - header.size());
    EXPECT_EQ(QImage::fromData(reply->data() + header.size(), length, "JPEG").size(), QSize(64, 32));
}

TEST_F(CITPServiceSocket, AnnouncesBothFormsToGroupAndBroadcastAndHearsItself)
{
    options.announceInterval = 200ms;
    auto service = started();

    // A second socket on the service's port hears the broadcast copies.
    const int listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    const sockaddr_in any = ipv4(service->udpPort(), htonl(INADDR_ANY));
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    std::vector<Bytes> heard;
    Bytes buffer(2048);
    waitUntil([&] {
        for (ssize_t n; (n = ::recv(listener, buffer.data(), buffer.size(), MSG_DONTWAIT)) > 0;)
            heard.emplace_back(buffer.begin(), buffer.begin() + n);
        return heard.size() >= 4;
    });
    ::close(listener);
    for (const auto form : {CITPHeaderType::standard, CITPHeaderType::extended})
        EXPECT_GE(std::count(heard.begin(), heard.end(), citp::buildPeerLocation(form, service->tcpPort())), 2);

    // The service's own announcement comes back and is listed like any peer.
    ASSERT_TRUE(service->pollOnce());
    QCoreApplication::sendPostedEvents();
    ASSERT_FALSE(service->discoveredPeers().empty());
    EXPECT_EQ(service->discoveredPeers()[0].name, "Orvelo V4.1");
}

// The choice depends on the machine's interfaces, so it is made in a child process that moves
// to a network namespace of its own, where the test decides which interfaces there are.
TEST(CITPServiceBroadcastAddress, TheSettingsThenThePrimaryInterfaceThenItsAddressThenAllOnes)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            LightingNetwork lighting;
            lighting.choose(std::nullopt, "192.168.7.255");
            CITPService::Options options;
            options.lighting = &lighting;
            const CITPService service(options);
            std::string seen = service.broadcastAddress();
            lighting.choose(std::nullopt, std::nullopt);
            if (::unshare(CLONE_NEWNET) != 0)
                std::exit(2);
            seen += " " + service.broadcastAddress(); // no interface at all
            // An interface with a broadcast address of its own, then the same without one.
            for (const char* setup : {"ip link add name cb0 type veth peer name cb1 && ip link set cb0 up && "
                                      "ip link set cb1 up && ip addr add 10.9.8.7/16 brd 10.9.255.255 dev cb0",
                                      "ip addr flush dev cb0 && ip addr add 10.9.8.7/16 dev cb0"}) {
                if (std::system(setup) != 0)
                    std::exit(3);
                seen += " " + service.broadcastAddress();
            }
            seen += " " + CITPService().broadcastAddress(); // no settings at all
            std::fprintf(stderr, "chosen: %s\n", seen.c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "chosen: 192\\.168\\.7\\.255 255\\.255\\.255\\.255 10\\.9\\.255\\.255 10\\.9\\.8\\.255 10\\.9\\.8\\.255");
}

TEST_F(CITPServiceSocket, PeersAreHeardByAddressAndTheNewest101PacketsAreLoggedAcrossAStop)
{
    auto service = started({"a.mov"});
    send(*service, peerLocation(false, "LightingConsole", "Desk A"));
    send(*service, peerLocation(true, "Visualiser", "Desk B"));
    ASSERT_EQ(service->discoveredPeers().size(), 1u);
    const CITPPeer& peer = service->discoveredPeers()[0];
    EXPECT_EQ(peer.id + " " + peer.type + " " + peer.name, "127.0.0.1 Visualiser Desk B");
    EXPECT_TRUE(service->lastPacketTime());
    for (int i = 0; i < 150; ++i)
        send(*service, ascii("noise-" + std::to_string(i)));
    ASSERT_EQ(service->packetLogs().size(), 101u);
    EXPECT_EQ(service->packetLogs().front().data, ascii("noise-49"));
    EXPECT_EQ(service->packetLogs().back().description, "Received 9 bytes");

    TcpConsole waiting(service->tcpPort());
    ASSERT_TRUE(waitUntil([&] { return service->tcpConnectionCount() == 1; }));
    // The client thread now waits for the main thread for the track count; stop must not. The
    // event loop does not run meanwhile, so nobody answers it.
    waiting.send(fullMessage("MSEX", "GELI"));
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!log.contains("CITPService: MSEX ContentCode: GELI") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    service->stopListening();
    EXPECT_FALSE(service->isListening());
    EXPECT_EQ(service->tcpConnectionCount(), 0);
    EXPECT_TRUE(waiting.closedByServer());
    EXPECT_TRUE(log.contains("CITPService: Stopped listening (UDP + TCP)"));
    // Not listening, an announcement is not even made: a peer's PLoc equal to it is heard later
    // as a peer's, not taken for the service's own echo.
    service->announce();

    service->startListening();
    ASSERT_TRUE(service->isListening());
    send(*service, citp::buildPeerLocation(CITPHeaderType::standard, 0));
    EXPECT_TRUE(log.contains("CITPService: PLoc from 127.0.0.1 - Type: 'MediaServer', Name: 'Orvelo V4.1'"));
    EXPECT_EQ(service->discoveredPeers().size(), 1u) << "known peers survive the stop";
    EXPECT_EQ(service->packetLogs().size(), 101u);
    send(*service, msexRequest("ELin", 0));
    EXPECT_EQ(console.receive(), citp::buildElementInfo(0, "a.mov"));

    // A port held by a socket that does not share it leaves another server deaf, and says so.
    PortHolder udp(0, SOCK_DGRAM);
    options.udpPort = udp.port();
    CITPService deaf(options);
    deaf.startListening();
    EXPECT_FALSE(deaf.isListening());
    EXPECT_EQ(deaf.errorText(), "Failed to bind: Address already in use");
}
