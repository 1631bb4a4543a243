// Protects the media server on real sockets: peers, traffic log, MSEX answers over UDP and TCP,
// the patch exchange, TCP framing and client limits, thumbnails off the receive thread, stop.
#include "citp/CITPPacket.h"
#include "citp/CITPService.h"

#include "CITPTestSupport.h"
#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <QImage>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
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

MediaTrack track(const QString& name)
{
    return MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile("/clips/" + name), name, 0.0, 1};
}

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Ports chosen by the system, no announcements unless asked for, broadcasts kept on loopback.
CITPService::Options testOptions()
{
    CITPService::Options options;
    options.udpPort = 0;
    options.tcpPort = 0;
    options.announceInterval = 1h;
    options.broadcastAddress = [] { return std::optional<std::string>("127.255.255.255"); };
    return options;
}

// A console on UDP. Receiving runs the event loop, since some answers are sent from it.
class UdpConsole {
public:
    UdpConsole() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        const sockaddr_in any = loopback(0);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any);
    }
    ~UdpConsole() { ::close(fd_); }

    void send(const Bytes& datagram, std::uint16_t port)
    {
        const sockaddr_in to = loopback(port);
        ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    std::optional<Bytes> receive(std::chrono::milliseconds timeout = 3s)
    {
        Bytes buffer(65536);
        std::optional<Bytes> got;
        waitUntil(
            [&] {
                const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (n >= 0)
                    got = Bytes(buffer.begin(), buffer.begin() + n);
                return got.has_value();
            },
            timeout);
        return got;
    }

private:
    int fd_;
};

class TcpConsole {
public:
    explicit TcpConsole(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const sockaddr_in to = loopback(port);
        connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    }
    ~TcpConsole() { close(); }

    bool connected() const { return connected_; }
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    void send(const Bytes& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // Exactly `size` bytes, or what arrived before the time ran out.
    Bytes receive(std::size_t size, std::chrono::milliseconds timeout = 3s)
    {
        Bytes got;
        Bytes buffer(65536);
        waitUntil(
            [&] {
                const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (n > 0)
                    got.insert(got.end(), buffer.begin(), buffer.begin() + n);
                return got.size() >= size;
            },
            timeout);
        return got;
    }

    // The server closed the connection (end of stream or reset).
    bool closedByServer(std::chrono::milliseconds timeout = 3s)
    {
        std::uint8_t byte;
        return waitUntil(
            [&] {
                const ssize_t n = ::recv(fd_, &byte, 1, MSG_DONTWAIT);
                return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            },
            timeout);
    }

private:
    int fd_;
    bool connected_ = false;
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
    void SetUp() override { ORVELO_REQUIRE_ISOLATED_NETWORK(); }
};

} // namespace

TEST_F(CITPServiceSocket, PeersHeardByAddressOnly)
{
    CITPService service(testOptions());
    service.startListening();
    ASSERT_TRUE(service.isListening());
    UdpConsole console;

    console.send(peerLocation(false, "LightingConsole", "Desk A"), service.udpPort());
    ASSERT_TRUE(waitUntil([&] { return service.discoveredPeers().size() == 1; }));
    const QDateTime firstSeen = service.discoveredPeers()[0].lastSeen;
    spinFor(20ms);
    console.send(peerLocation(true, "LightingConsole", "Desk B"), service.udpPort());
    ASSERT_TRUE(waitUntil([&] { return service.discoveredPeers()[0].name == "Desk B"; }));

    ASSERT_EQ(service.discoveredPeers().size(), 1u);
    const CITPPeer& peer = service.discoveredPeers()[0];
    EXPECT_EQ(peer.id, "127.0.0.1");
    EXPECT_EQ(peer.ip, "127.0.0.1");
    EXPECT_EQ(peer.type, "LightingConsole");
    EXPECT_GT(peer.lastSeen, firstSeen);
    EXPECT_TRUE(service.lastPacketTime());
}

TEST_F(CITPServiceSocket, TrafficLogKeepsTheNewest101)
{
    CITPService service(testOptions());
    service.startListening();
    UdpConsole console;
    for (int i = 0; i < 150; ++i) {
        const Bytes datagram = ascii("noise-" + std::to_string(i));
        console.send(datagram, service.udpPort());
        // In small bursts, so no datagram is lost to a full socket buffer.
        if (i % 25 == 24 || i == 149) {
            ASSERT_TRUE(waitUntil([&] { return !service.packetLogs().empty() && service.packetLogs().back().data == datagram; }));
        }
    }
    ASSERT_EQ(service.packetLogs().size(), 101u);
    EXPECT_EQ(service.packetLogs().front().data, ascii("noise-49"));
    const CITPPacketLog& last = service.packetLogs().back();
    EXPECT_EQ(last.direction, "Rx");
    EXPECT_EQ(last.source, "127.0.0.1");
    EXPECT_EQ(last.description, "Received 9 bytes");
}

TEST_F(CITPServiceSocket, UdpLibraryAndLayerRequestsAreAnswered)
{
    FakePlaylist playlist;
    playlist.tracks = {track("Intro.mov"), track("Loop.mp4")};
    CITPService service(testOptions());
    service.setDataSource(&playlist);
    service.startListening();
    UdpConsole console;

    console.send(msexRequest("LInf", 0), service.udpPort());
    EXPECT_EQ(console.receive(), citp::buildLayerInfo());
    console.send(msexRequest("ELin", 1), service.udpPort());
    EXPECT_EQ(console.receive(), citp::buildElementInfo(1, "Loop.mp4"));
    console.send(msexRequest("ELin", 5), service.udpPort());
    EXPECT_EQ(console.receive(), citp::buildElementInfo(5, "Empty"));
    // No thumbnail for an element that does not exist; the request still counts.
    console.send(msexRequest("SThm", 2), service.udpPort());
    EXPECT_FALSE(console.receive(300ms));

    EXPECT_TRUE(waitUntil([&] { return service.msexStats() == MSEXStats{2, 1, 1}; }));
    // Four requests in, three answers out.
    const auto& logs = service.packetLogs();
    EXPECT_EQ(std::count_if(logs.begin(), logs.end(), [](const CITPPacketLog& e) { return e.direction == "Rx"; }), 4);
    EXPECT_EQ(std::count_if(logs.begin(), logs.end(),
                            [](const CITPPacketLog& e) { return e.direction == "Tx" && e.source == "To: 127.0.0.1"; }),
              3);
}

TEST_F(CITPServiceSocket, PatchRequestAndPatchReception)
{
    CITPService service(testOptions());
    service.startListening();
    UdpConsole console;

    LogCapture log;
    console.send(compactMessage("FPTC", "SndP"), service.udpPort());
    EXPECT_EQ(console.receive(), citp::buildPatch());
    EXPECT_FALSE(console.receive(300ms)) << "exactly one Ptch";
    EXPECT_TRUE(log.contains("CITPService: Received SndP request. Replying with Patch."));
    EXPECT_EQ(service.lastReceivedPatch(), "None");

    ByteWriter patch;
    patch.u16le(2).u16le(12).u16le(3).u16le(101).cstring("Wash").u16le(13).u16le(3).u16le(117).cstring("");
    console.send(fullMessage("FPTC", "Ptch", patch.data()), service.udpPort());
    ASSERT_TRUE(waitUntil([&] { return service.lastReceivedPatchData().has_value(); }));
    EXPECT_EQ(service.lastReceivedPatch(), "Diff Patch: 2 fixtures. Ex: ID 12 @ U3/101 (Wash)");
    ASSERT_EQ(service.lastReceivedPatchData()->size(), 2u);
    EXPECT_EQ((*service.lastReceivedPatchData())[1].channel, 117);
    EXPECT_FALSE(console.receive(200ms));
}

TEST_F(CITPServiceSocket, TcpRequestsAreAnsweredAndCounted)
{
    FakePlaylist playlist;
    playlist.tracks = {track("a.mov"), track("b.mov"), track("c.mov")};
    CITPService service(testOptions());
    service.setDataSource(&playlist);
    service.startListening();
    TcpConsole console(service.tcpPort());
    ASSERT_TRUE(console.connected());
    ASSERT_TRUE(waitUntil([&] { return service.tcpConnectionCount() == 1; }));

    const auto ask = [&](const Bytes& request, const Bytes& answer) {
        console.send(request);
        EXPECT_EQ(console.receive(answer.size()), answer);
    };
    ask(fullMessage("MSEX", "CInf"), citp::buildServerInfo());
    ask(compactMessage("MSEX", "CInf"), citp::buildServerInfo());
    ask(fullMessage("MSEX", "GETh"), citp::buildThumbnailAccepted());
    ask(fullMessage("MSEX", "GELI"), citp::buildElementLibraryInfo(3));
    ask(fullMessage("MSEX", "GLIn"), citp::buildLayerInfo());
    // Neither a PLoc nor an unknown code gets an answer over TCP; the unknown one still counts.
    console.send(peerLocation(true, "Console", "Desk"));
    console.send(fullMessage("MSEX", "Nope"));
    EXPECT_TRUE(console.receive(1, 300ms).empty());

    EXPECT_TRUE(waitUntil([&] { return service.msexStats() == MSEXStats{6, 1, 1}; }))
        << service.msexStats().libraryRequests;
    const auto& logs = service.packetLogs();
    EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const CITPPacketLog& e) { return e.direction == "Rx/TCP"; }));
    EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const CITPPacketLog& e) {
        return e.direction == "Tx/TCP" && e.source == "To: 127.0.0.1";
    }));
    console.close();
    EXPECT_TRUE(waitUntil([&] { return service.tcpConnectionCount() == 0; }));
}

TEST_F(CITPServiceSocket, TcpMessagesSplitOrJoinedAreEachProcessed)
{
    CITPService service(testOptions());
    service.startListening();
    TcpConsole console(service.tcpPort());

    const Bytes request = fullMessage("MSEX", "CInf");
    console.send(Bytes(request.begin(), request.begin() + 10));
    spinFor(100ms);
    console.send(Bytes(request.begin() + 10, request.end()));
    EXPECT_EQ(console.receive(citp::buildServerInfo().size()), citp::buildServerInfo());

    console.send(cat({fullMessage("MSEX", "CInf"), fullMessage("MSEX", "GLIn")}));
    const Bytes both = cat({citp::buildServerInfo(), citp::buildLayerInfo()});
    EXPECT_EQ(console.receive(both.size()), both);
    EXPECT_TRUE(waitUntil([&] { return service.msexStats() == MSEXStats{3, 0, 1}; }));
}

TEST_F(CITPServiceSocket, MisbehavingTcpClientsAreLimitedAndDropped)
{
    auto options = testOptions();
    options.maxTcpClients = 2;
    options.tcpIdleTimeout = 400ms;
    CITPService service(options);
    service.startListening();
    LogCapture log;

    auto first = std::make_unique<TcpConsole>(service.tcpPort());
    TcpConsole second(service.tcpPort());
    ASSERT_TRUE(waitUntil([&] { return service.tcpConnectionCount() == 2; }));
    TcpConsole refused(service.tcpPort());
    EXPECT_TRUE(refused.closedByServer());
    EXPECT_TRUE(log.contains("CITPService: TCP connection refused from 127.0.0.1 (too many connections)"));
    second.send(fullMessage("MSEX", "CInf"));
    EXPECT_EQ(second.receive(citp::buildServerInfo().size()), citp::buildServerInfo());

    // A size no message can have ends the connection and frees its place.
    ByteWriter huge;
    huge.text("CITP", 4).u8(1).u8(0).u16le(0).u32le(0x7FFFFFFF).u16le(1).u16le(0).text("MSEX", 4).text("CInf", 4);
    first->send(huge.data());
    EXPECT_TRUE(first->closedByServer());
    ASSERT_TRUE(waitUntil([&] { return service.tcpConnectionCount() == 1; }));
    TcpConsole third(service.tcpPort());
    third.send(fullMessage("MSEX", "GLIn"));
    EXPECT_EQ(third.receive(citp::buildLayerInfo().size()), citp::buildLayerInfo());

    // Silent clients are closed after the idle time.
    EXPECT_TRUE(second.closedByServer(3s));
    EXPECT_TRUE(third.closedByServer(3s));
    EXPECT_TRUE(waitUntil([&] { return service.tcpConnectionCount() == 0; }));
    EXPECT_TRUE(log.contains("CITPService: Closing idle TCP connection from 127.0.0.1"));
}

TEST_F(CITPServiceSocket, ThumbnailsAreMadeOffTheReceiveThread)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto options = testOptions();
    options.thumbnails = CITPThumbnailMaker([released](const QString&, QSize maxSize) {
        released.wait();
        QImage frame(160, 80, QImage::Format_RGB32);
        frame.fill(QColor(0, 200, 0));
        return VideoSnapshot{frame.scaled(maxSize, Qt::KeepAspectRatio), {}};
    });
    FakePlaylist playlist;
    playlist.tracks = {track("green.mov")};
    CITPService service(options);
    service.setDataSource(&playlist);
    service.startListening();
    UdpConsole console;

    console.send(msexRequest("SThm", 0), service.udpPort());
    // While that thumbnail is being made, other requests are answered.
    console.send(msexRequest("LInf", 0), service.udpPort());
    EXPECT_EQ(console.receive(), citp::buildLayerInfo());
    release.set_value();

    const auto reply = console.receive();
    ASSERT_TRUE(reply);
    const Bytes header = citp::buildThumbnail(0, {}).value();
    ASSERT_GT(reply->size(), header.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end() - 2, reply->begin()));
    const std::size_t length = (*reply)[27] | ((*reply)[28] << 8);
    ASSERT_EQ(reply->size(), header.size() + length);
    const QImage image = QImage::fromData(reply->data() + header.size(), static_cast<int>(length), "JPEG");
    EXPECT_EQ(image.size(), QSize(64, 32));
    EXPECT_GT(image.pixelColor(32, 16).green(), 170);
}

TEST_F(CITPServiceSocket, AnnouncesBothFormsToGroupAndBroadcastAndHearsItself)
{
    auto options = testOptions();
    options.announceInterval = 200ms;
    CITPService service(options);
    service.startListening();

    // A second socket on the service's port hears the broadcast copies.
    const int listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(service.udpPort());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    std::vector<Bytes> heard;
    Bytes buffer(2048);
    waitUntil(
        [&] {
            for (ssize_t n; (n = ::recv(listener, buffer.data(), buffer.size(), MSG_DONTWAIT)) > 0;)
                heard.emplace_back(buffer.begin(), buffer.begin() + n);
            return heard.size() >= 4;
        },
        3s);
    ::close(listener);
    const Bytes compact = citp::buildPeerLocation(CITPHeaderType::standard, service.tcpPort());
    const Bytes full = citp::buildPeerLocation(CITPHeaderType::extended, service.tcpPort());
    EXPECT_GE(std::count(heard.begin(), heard.end(), compact), 2);
    EXPECT_GE(std::count(heard.begin(), heard.end(), full), 2);

    // The service's own announcement comes back and is listed like any peer.
    ASSERT_TRUE(waitUntil([&] { return !service.discoveredPeers().empty(); }));
    EXPECT_EQ(service.discoveredPeers()[0].type, "MediaServer");
    EXPECT_EQ(service.discoveredPeers()[0].name, "Orvelo V4.1");
}

TEST_F(CITPServiceSocket, BroadcastAddressPrefersTheSettingsThenThePrimaryInterface)
{
    std::optional<std::string> chosen = "192.168.7.255";
    CITPService::Options options;
    options.broadcastAddress = [&] { return chosen; };
    CITPService service(options);
    EXPECT_EQ(service.broadcastAddress(), "192.168.7.255");
    // The private namespace's primary interface is 10.254.0.2/24.
    chosen = "";
    EXPECT_EQ(service.broadcastAddress(), "10.254.0.255");
    chosen.reset();
    EXPECT_EQ(service.broadcastAddress(), "10.254.0.255");
}

TEST_F(CITPServiceSocket, StopEndsEverythingAndStateSurvivesARestart)
{
    FakePlaylist playlist;
    playlist.tracks = {track("a.mov")};
    CITPService service(testOptions());
    service.setDataSource(&playlist);
    service.startListening();
    UdpConsole console;
    console.send(peerLocation(false, "Visualiser", "Vis"), service.udpPort());
    ASSERT_TRUE(waitUntil([&] { return service.discoveredPeers().size() == 1; }));

    TcpConsole waiting(service.tcpPort());
    ASSERT_TRUE(waitUntil([&] { return service.tcpConnectionCount() == 1; }));
    // The client thread now waits for the main thread for the track count; stop must not.
    waiting.send(fullMessage("MSEX", "GELI"));
    std::this_thread::sleep_for(100ms);
    LogCapture log;
    service.stopListening();
    EXPECT_FALSE(service.isListening());
    EXPECT_EQ(service.tcpConnectionCount(), 0);
    EXPECT_EQ(service.udpPort(), 0);
    EXPECT_TRUE(waiting.closedByServer());
    EXPECT_TRUE(log.contains("CITPService: Stopped listening (UDP + TCP)"));

    service.startListening();
    ASSERT_TRUE(service.isListening());
    EXPECT_EQ(service.discoveredPeers().size(), 1u);
    console.send(msexRequest("ELin", 0), service.udpPort());
    EXPECT_EQ(console.receive(), citp::buildElementInfo(0, "a.mov"));
}

TEST_F(CITPServiceSocket, StartFailuresAreReported)
{
    // Ports held by sockets that do not share them.
    PortHolder udp(0, SOCK_DGRAM);
    PortHolder tcp(0, SOCK_STREAM);
    ASSERT_TRUE(udp.bound() && tcp.bound());
    LogCapture log;
    auto options = testOptions();
    options.udpPort = udp.port();
    CITPService deaf(options);
    deaf.startListening();
    EXPECT_FALSE(deaf.isListening());
    EXPECT_EQ(deaf.errorText(), "Failed to bind: Address already in use");
    EXPECT_TRUE(log.contains("CITPService: Failed to bind: Address already in use"));

    // Without TCP the server still works over UDP.
    options = testOptions();
    options.tcpPort = tcp.port();
    CITPService udpOnly(options);
    udpOnly.startListening();
    EXPECT_TRUE(udpOnly.isListening());
    EXPECT_TRUE(log.contains("CITPService: TCP bind failed: Address already in use"));
    UdpConsole console;
    console.send(msexRequest("LInf", 0), udpOnly.udpPort());
    EXPECT_EQ(console.receive(), citp::buildLayerInfo());
}
