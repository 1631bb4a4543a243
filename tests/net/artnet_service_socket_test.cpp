// Protects the Art-Net node over real UDP on loopback: what a console gets back for each
// request, which DMX frames are published, and that stop/start and receive failures never
// leave the node deaf, doubled or reading a closed socket.
#include "net/ArtNetService.h"

#include "ArtNetTestSupport.h"
#include "platform/MainThread.h"
#include "support/TestSupport.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

const artnet::IPv4Bytes testNetworkIP{10, 254, 0, 2};

// Counts the emissions of one signal while it lives.
struct SignalCount {
    template <typename Signal>
    SignalCount(ArtNetService* service, Signal signal)
        : connection(QObject::connect(service, signal, [this] { ++count; }))
    {
    }
    ~SignalCount() { QObject::disconnect(connection); }
    int count = 0;
    QMetaObject::Connection connection;
};

int receiveThreads()
{
    return threadsNamed("ArtNetReceiver");
}

class ArtNetServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        options.listenPort = freeUdpPort();
        // Announcements go to a port of their own, so they never reach the console's socket.
        options.destinationPort = freeUdpPort();
        options.destinationAddress = "127.0.0.1";
        options.clearPort = false;
    }

    std::unique_ptr<ArtNetService> startedService()
    {
        auto service = std::make_unique<ArtNetService>(options);
        service->startListening();
        EXPECT_TRUE(waitUntil([&] { return service->isListening(); }));
        return service;
    }

    ArtNetService::Options options;
    LogCapture log;
    UdpPeer console;
};

} // namespace

TEST_F(ArtNetServiceTest, PollIsAnsweredOnceWithThePollAnswerToThePoller)
{
    auto service = startedService();
    service->filterNet = 1;
    service->filterSubnet = 2;
    service->filterUniverse = 3;
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4));

    sockaddr_in from{};
    const auto reply = console.receive(2000ms, &from);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, artnet::encodePollReply(artnet::PollReplyVariant::pollAnswer, testNetworkIP, 1, 2, 3));
    EXPECT_EQ(ntohs(from.sin_port), options.listenPort);
    EXPECT_FALSE(console.receive(200ms));

    ASSERT_TRUE(waitUntil([&] { return log.contains("ArtNetService: Sent OpPollReply"); }));
    const int opCode = log.indexOf("ArtNetService: Received OpCode 0x2000 (14 bytes)");
    const int opPoll = log.indexOf("ArtNetService: Received OpPoll - should reply with OpPollReply");
    const int sent = log.indexOf("ArtNetService: Sent OpPollReply");
    EXPECT_GE(opCode, 0);
    EXPECT_EQ(opPoll, opCode + 1);
    EXPECT_EQ(sent, opPoll + 1);
}

TEST_F(ArtNetServiceTest, TodRequestAndTodControlAreAnsweredWithTheTableOfDevices)
{
    auto service = startedService();
    service->filterNet = 4;
    service->filterSubnet = 1;
    service->filterUniverse = 2;
    const auto expected = artnet::encodeTodData(4, 0x12, service->rdmUID());
    for (const std::uint16_t op : {artnet::opTodRequest, artnet::opTodControl}) {
        console.sendTo(options.listenPort, artNetPacket(op, 14));
        const auto reply = console.receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply, expected);
    }
    const auto& uid = service->rdmUID();
    char uidText[32];
    std::snprintf(uidText, sizeof uidText, "%02X:%02X:%02X:%02X:%02X:%02X", uid[0], uid[1], uid[2], uid[3], uid[4],
                  uid[5]);
    EXPECT_TRUE(log.contains("ArtNetService: Received OpTodRequest - sending TOD response"));
    EXPECT_TRUE(log.contains("ArtNetService: Received OpTodControl - flushing and sending TOD"));
    // The line follows the send, so it may come a moment after the answer.
    EXPECT_TRUE(waitUntil([&] { return log.count("ArtNetService: Sent OpTodData with UID: " + std::string(uidText)) == 2; }));
}

TEST_F(ArtNetServiceTest, ArtDmxForTheConfiguredPortAddressIsPublishedAs512Slots)
{
    auto service = startedService();
    service->filterSubnet = 1;
    service->filterUniverse = 2;
    SignalCount frames(service.get(), &ArtNetService::lastDMXValuesChanged);
    SignalCount times(service.get(), &ArtNetService::lastPacketTimeChanged);

    Bytes values(24);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint8_t>(200 + i);
    console.sendTo(options.listenPort, artDmx(1, 1, 2, Bytes(24, 9)));   // another net
    console.sendTo(options.listenPort, artDmx(0, 2, 1, Bytes(24, 9)));   // another sub-net/universe
    console.sendTo(options.listenPort, artDmx(0, 1, 2, values));
    ASSERT_TRUE(waitUntil([&] { return frames.count >= 1; }));
    spinFor(100ms);
    EXPECT_EQ(frames.count, 1);
    EXPECT_EQ(times.count, 1);
    const auto& published = service->lastDMXValues();
    ASSERT_EQ(published.size(), 512u);
    EXPECT_EQ(Bytes(published.begin(), published.begin() + 24), values);
    EXPECT_EQ(std::count(published.begin() + 24, published.end(), 0), 512 - 24);
    ASSERT_TRUE(service->lastPacketTime());
    EXPECT_LE(service->lastPacketTime()->msecsTo(QDateTime::currentDateTimeUtc()), 2000);
    // ArtDmx is not logged; an OpCode the node does not handle is, with nothing more.
    console.sendTo(options.listenPort, artNetPacket(0x2400, 8));
    ASSERT_TRUE(waitUntil([&] { return log.contains("ArtNetService: Received OpCode 0x2400 (18 bytes)"); }));
    spinFor(50ms);
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("0x5000"), std::string::npos) << line;
    EXPECT_EQ(log.lines().back(), "ArtNetService: Received OpCode 0x2400 (18 bytes)");
}

TEST_F(ArtNetServiceTest, RdmRoundTripsAndASetOfTheStartAddressMovesTheNode)
{
    auto service = startedService();
    std::vector<std::pair<int, int>> moves;
    bool calledOnMainThread = false;
    service->onDMXAddressChanged = [&](int universe, int channel) {
        calledOnMainThread = isMainThread();
        moves.emplace_back(universe, channel);
    };
    const auto& uid = service->rdmUID();

    console.sendTo(options.listenPort, rdmRequest(uid, rdm::getCommand, rdm::RDM_DEVICE_INFO));
    auto reply = console.receive();
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 24u + 24u + 19u + 1u);
    EXPECT_EQ((*reply)[8], 0x00);
    EXPECT_EQ((*reply)[9], 0x83);
    EXPECT_EQ(Bytes(reply->begin() + 26, reply->begin() + 32), Bytes(consoleUID.begin(), consoleUID.end()));
    EXPECT_EQ(Bytes(reply->begin() + 32, reply->begin() + 38), Bytes(uid.begin(), uid.end()));

    console.sendTo(options.listenPort, artDmx(0, 0, 0, {1, 2, 3}));
    ASSERT_TRUE(waitUntil([&] { return service->lastDMXValues()[0] == 1; }));

    console.sendTo(options.listenPort, rdmRequest(rdm::broadcastUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01}));
    reply = console.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[24 + 19], rdm::setCommandResponse);
    EXPECT_EQ(service->filterUniverse.load(), 2);
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 2, Channel 1"));
    ASSERT_TRUE(waitUntil([&] { return !moves.empty(); }));
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_TRUE(calledOnMainThread);

    console.sendTo(options.listenPort, rdmRequest(uid, rdm::getCommand, rdm::RDM_DMX_START_ADDRESS));
    reply = console.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Bytes(reply->end() - 4, reply->end() - 2), (Bytes{0x04, 0x01}));
    EXPECT_EQ((*reply)[23], 0x02); // ArtRdm address byte follows the new universe

    console.sendTo(options.listenPort, artDmx(0, 0, 0, {7, 7, 7}));
    console.sendTo(options.listenPort, artDmx(0, 0, 2, {9, 8, 7}));
    ASSERT_TRUE(waitUntil([&] { return service->lastDMXValues()[0] == 9; }));
    spinFor(50ms);
    EXPECT_EQ(service->lastDMXValues()[0], 9);
}

TEST_F(ArtNetServiceTest, AnotherUniverseIsNotedOnceAndOwnBroadcastsHeardBackAreNotLogged)
{
    // Announcements and timecode come back to the node, as broadcasts do on a show network.
    options.destinationPort = options.listenPort;
    auto service = startedService();
    const std::string note = "Art-Net seen on 0:0:1, listening on 0:0:0";
    for (int i = 0; i < 50; ++i) { // 2.5 s: the note is looked at twice or more
        console.sendTo(options.listenPort, artDmx(0, 0, 1, Bytes(24, 9)));
        service->sendTimecode(1, 2, 3, static_cast<std::uint8_t>(i % 25), 1);
        spinFor(50ms);
    }
    console.sendTo(options.listenPort, artnet::encodeTimeCode(9, 9, 9, 9, 1));
    ASSERT_TRUE(waitUntil([&] { return log.contains("ArtNetService: Received OpCode 0x9700 (19 bytes)"); }));
    EXPECT_EQ(service->inputNote().toStdString(), note);
    EXPECT_EQ(log.count("ArtNetService: " + note), 1);
    EXPECT_EQ(log.count("ArtNetService: Received OpCode 0x9700 (19 bytes)"), 1) << "only the console's timecode";
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("0x2100"), std::string::npos) << line;
    EXPECT_EQ(service->lastDMXValues()[0], 0);
    service->stopListening();
    EXPECT_EQ(service->inputNote(), "");
}

TEST_F(ArtNetServiceTest, AnnouncementIsBroadcastToTheDestinationPort)
{
    options.destinationAddress = "255.255.255.255";
    UdpPeer listener(options.destinationPort, true);
    ASSERT_TRUE(listener.bound());
    auto service = startedService();
    const auto announcement = listener.receive();
    ASSERT_TRUE(announcement);
    EXPECT_EQ(*announcement, artnet::encodePollReply(artnet::PollReplyVariant::announcement, testNetworkIP, 0, 0, 0));
    EXPECT_TRUE(log.contains("ArtNetService: Broadcast ArtPollReply (239 bytes) - IP: 10.254.0.2"));
    EXPECT_LT(log.indexOf("ArtNetService: Listening on port " + std::to_string(options.listenPort) +
                          " (BSD socket with RDM support)"),
              log.indexOf("ArtNetService: Broadcast ArtPollReply (239 bytes) - IP: 10.254.0.2"));
}

TEST_F(ArtNetServiceTest, TimecodeIsBroadcastWhetherOrNotTheNodeListens)
{
    options.destinationAddress = "255.255.255.255";
    UdpPeer listener(options.destinationPort, true);
    ArtNetService service(options);
    service.sendTimecode(1, 2, 3, 4, 1);
    auto packet = listener.receive();
    ASSERT_TRUE(packet);
    EXPECT_EQ(*packet, artnet::encodeTimeCode(1, 2, 3, 4, 1));

    service.startListening();
    service.stopListening();
    service.sendTimecode(5, 6, 7, 8, 3);
    // The stop/start announcement comes first; the timecode after it.
    do {
        packet = listener.receive();
    } while (packet && packet->size() != artnet::timeCodeSize);
    ASSERT_TRUE(packet);
    EXPECT_EQ(*packet, artnet::encodeTimeCode(5, 6, 7, 8, 3));
}

TEST_F(ArtNetServiceTest, StopEndsTheBlockedReceiveThreadQuietly)
{
    auto service = startedService();
    spinFor(50ms); // the thread is now blocked waiting for data
    ASSERT_EQ(receiveThreads(), 1);
    service->stopListening();
    EXPECT_EQ(receiveThreads(), 0);
    ASSERT_TRUE(waitUntil([&] { return !service->isListening(); }));
    EXPECT_TRUE(log.contains("ArtNetService: Stopped listening"));
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("Receive error"), std::string::npos);
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4));
    EXPECT_FALSE(console.receive(200ms));
}

TEST_F(ArtNetServiceTest, StartingTwiceKeepsTheFirstSocket)
{
    auto service = startedService();
    service->startListening();
    EXPECT_TRUE(log.contains("ArtNetService: Already listening"));
    EXPECT_EQ(receiveThreads(), 1);
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4));
    EXPECT_TRUE(console.receive());
    EXPECT_FALSE(console.receive(200ms));
}

TEST_F(ArtNetServiceTest, BindFailureIsPublishedAndTheNodeStaysStopped)
{
    PortHolder holder(options.listenPort);
    ASSERT_TRUE(holder.bound());

    ArtNetService service(options);
    SignalCount errors(&service, &ArtNetService::errorChanged);
    service.startListening();
    ASSERT_TRUE(waitUntil([&] { return errors.count >= 1; }));
    EXPECT_EQ(service.errorText(), "Failed to bind: Address already in use");
    EXPECT_TRUE(log.contains("ArtNetService: Failed to bind: Address already in use"));
    spinFor(50ms);
    EXPECT_FALSE(service.isListening());
    EXPECT_EQ(receiveThreads(), 0);
    holder.release();

    // A later start retries from the beginning.
    service.startListening();
    ASSERT_TRUE(waitUntil([&] { return service.isListening(); }));
    EXPECT_FALSE(service.error());
}

TEST_F(ArtNetServiceTest, TransientReceiveErrorsAreRetriedAndARealOneClosesTheNode)
{
    std::atomic<int> injected{0};
    std::atomic<int> realFailure{0};
    options.receive = [&](int fd, void* buffer, std::size_t size, sockaddr_in* from) -> ssize_t {
        static const int transient[] = {EINTR, ECONNREFUSED, ENOBUFS, ENOMEM};
        if (const int n = injected.fetch_add(1); n < 4) {
            errno = transient[n];
            return -1;
        }
        if (realFailure) {
            errno = EIO;
            return -1;
        }
        socklen_t length = sizeof *from;
        return ::recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(from), &length);
    };
    auto service = startedService();
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4));
    EXPECT_TRUE(console.receive());

    realFailure = 1;
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4)); // wakes the thread
    ASSERT_TRUE(waitUntil([&] { return !service->isListening(); }));
    EXPECT_EQ(service->errorText(), "Receive error: Input/output error");
    spinFor(50ms);
    EXPECT_EQ(log.count("ArtNetService: Receive error: Input/output error"), 1);
    EXPECT_EQ(receiveThreads(), 0);

    // Closed for real: a start opens it again.
    realFailure = 0;
    service->startListening();
    EXPECT_FALSE(log.contains("ArtNetService: Already listening"));
    ASSERT_TRUE(waitUntil([&] { return service->isListening(); }));
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4));
    EXPECT_TRUE(console.receive());
}

TEST_F(ArtNetServiceTest, QuickStopsAndStartsLeaveOneReceiverOnOneSocket)
{
    ArtNetService service(options);
    for (int i = 0; i < 50; ++i) {
        service.startListening();
        service.stopListening();
    }
    service.startListening();
    ASSERT_TRUE(waitUntil([&] { return service.isListening(); }));
    EXPECT_EQ(receiveThreads(), 1);
    console.sendTo(options.listenPort, artNetPacket(artnet::opPoll, 4));
    EXPECT_TRUE(console.receive());
    EXPECT_FALSE(console.receive(200ms));
    EXPECT_EQ(log.count("ArtNetService: Sent OpPollReply"), 1);
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("Receive error"), std::string::npos);
}
