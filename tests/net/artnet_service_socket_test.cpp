// The Art-Net node over loopback UDP (read with pollOnce, so each datagram is answered before the
// next line): answers to a console, published frames, the input note, announcements and timecode.
#include "net/ArtNetService.h"

#include "ArtNetTestSupport.h"
#include "support/TestSupport.h"

#include <QCoreApplication>

using namespace orvelo;
using namespace orvelo::test;

namespace {

const artnet::IPv4Bytes testNetworkIP{10, 254, 0, 2};

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
        options.reading.ownThread = false;
    }

    std::unique_ptr<ArtNetService> startedService()
    {
        auto service = std::make_unique<ArtNetService>(options);
        service->startListening();
        QCoreApplication::sendPostedEvents();
        EXPECT_TRUE(service->isListening());
        return service;
    }

    // The console sends, the node reads it, and what it posted to the main thread is run.
    void send(ArtNetService& service, const Bytes& datagram)
    {
        console.sendTo(options.listenPort, datagram);
        ASSERT_TRUE(service.pollOnce());
        QCoreApplication::sendPostedEvents();
    }

    ArtNetService::Options options;
    LogCapture log;
    UdpPeer console;
};

} // namespace

TEST_F(ArtNetServiceTest, PollAndTableOfDevicesRequestsAreEachAnsweredOnceToTheSender)
{
    auto service = startedService();
    service->filterNet = 1;
    service->filterSubnet = 2;
    service->filterUniverse = 3;
    const auto pollAnswer = artnet::encodePollReply(artnet::PollReplyVariant::pollAnswer, testNetworkIP, 1, 2, 3);
    const auto tod = artnet::encodeTodData(1, 0x23, service->rdmUID());
    // A doubled answer would be read in place of the next one.
    const std::pair<std::uint16_t, Bytes> exchanges[] = {{artnet::opPoll, pollAnswer},
                                                         {artnet::opTodRequest, tod},
                                                         {artnet::opTodControl, tod},
                                                         {artnet::opPoll, pollAnswer}};
    for (const auto& [opCode, answer] : exchanges) {
        send(*service, artNetPacket(opCode, opCode == artnet::opPoll ? 4 : 14));
        sockaddr_in from{};
        EXPECT_EQ(console.receive(std::chrono::milliseconds(2000), &from), answer) << std::hex << opCode;
        EXPECT_EQ(ntohs(from.sin_port), options.listenPort);
    }
}

TEST_F(ArtNetServiceTest, ArtDmxForTheConfiguredPortAddressIsPublishedAs512SlotsAndRdmMovesIt)
{
    auto service = startedService();
    int frames = 0;
    QObject::connect(service.get(), &ArtNetService::lastDMXValuesChanged, [&] { ++frames; });
    std::vector<std::pair<int, int>> moves;
    service->onDMXAddressChanged = [&](int universe, int channel) { moves.emplace_back(universe, channel); };
    const auto& uid = service->rdmUID();

    send(*service, artDmx(1, 0, 0, Bytes(24, 9))); // another net
    send(*service, artDmx(0, 0, 0, {200, 201, 202}));
    EXPECT_EQ(frames, 1);
    ASSERT_EQ(service->lastDMXValues().size(), 512u);
    EXPECT_EQ(Bytes(service->lastDMXValues().begin(), service->lastDMXValues().begin() + 4), (Bytes{200, 201, 202, 0}));
    ASSERT_TRUE(service->lastPacketTime());
    // ArtDmx is not logged; an OpCode the node does not handle is, with nothing more.
    send(*service, artNetPacket(0x2400, 8));
    EXPECT_EQ(log.lines().back(), "ArtNetService: Received OpCode 0x2400 (18 bytes)");
    EXPECT_FALSE(log.containsPrefix("ArtNetService: Received OpCode 0x5000"));

    // RDM is answered to the console; what it answers is the responder's test.
    send(*service, rdmRequest(uid, rdm::getCommand, rdm::pidDeviceInfo));
    const auto reply = console.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(artnet::decodeHeader(*reply), artnet::opRdm);
    // The address change is told through the main thread's queue, not from the reading thread.
    console.sendTo(options.listenPort,
                   rdmRequest(rdm::broadcastUID, rdm::setCommand, rdm::pidDmxStartAddress, {0x04, 0x01}));
    ASSERT_TRUE(service->pollOnce());
    ASSERT_TRUE(console.receive());
    EXPECT_EQ(service->filterUniverse.load(), 2);
    EXPECT_TRUE(moves.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{2, 1}}));

    send(*service, artDmx(0, 0, 2, {9, 8, 7}));
    EXPECT_EQ(service->lastDMXValues()[0], 9);

    // A label and identify are told through the main thread's queue too.
    std::vector<std::string> told;
    service->onDeviceLabelChanged = [&](const std::string& label) { told.push_back(label); };
    service->onIdentifyChanged = [&](bool on) { told.push_back(on ? "on" : "off"); };
    send(*service, rdmRequest(uid, rdm::setCommand, rdm::pidDeviceLabel, {'F', 'O', 'H'}));
    send(*service, rdmRequest(uid, rdm::setCommand, rdm::pidIdentifyDevice, {1}));
    EXPECT_TRUE(console.receive() && console.receive());
    EXPECT_EQ(told, (std::vector<std::string>{"FOH", "on"}));
}

TEST_F(ArtNetServiceTest, AnotherUniverseIsNotedOnceAndOwnBroadcastsHeardBackAreNotLogged)
{
    // Announcements and timecode come back to the node, as broadcasts do on a show network.
    options.destinationPort = options.listenPort;
    auto service = startedService();
    ASSERT_TRUE(service->pollOnce()) << "its own announcement";
    const std::string note = "Art-Net seen on 0:0:1, listening on 0:0:0";
    for (int look = 0; look < 3; ++look) {
        send(*service, artDmx(0, 0, 1, Bytes(24, 9)));
        service->sendTimecode(1, 2, 3, static_cast<std::uint8_t>(look), 1);
        ASSERT_TRUE(service->pollOnce());
        service->refreshInputNote();
    }
    send(*service, artnet::encodeTimeCode(9, 9, 9, 9, 1));
    EXPECT_EQ(service->inputNote().toStdString(), note);
    EXPECT_EQ(log.count("ArtNetService: " + note), 1);
    EXPECT_EQ(log.count("ArtNetService: Received OpCode 0x9700 (19 bytes)"), 1) << "only the console's timecode";
    EXPECT_FALSE(log.containsPrefix("ArtNetService: Received OpCode 0x2100"));
    EXPECT_EQ(service->lastDMXValues()[0], 0);
    service->stopListening();
    EXPECT_EQ(service->inputNote(), "");
}

TEST_F(ArtNetServiceTest, AnnouncementAndTimecodeAreBroadcastWhetherOrNotTheNodeListens)
{
    options.destinationAddress = "255.255.255.255";
    UdpPeer listener(options.destinationPort, true);
    ASSERT_TRUE(listener.bound());
    ArtNetService service(options);
    service.sendTimecode(1, 2, 3, 4, 1);
    EXPECT_EQ(listener.receive(), artnet::encodeTimeCode(1, 2, 3, 4, 1));

    service.startListening();
    EXPECT_EQ(listener.receive(),
              artnet::encodePollReply(artnet::PollReplyVariant::announcement, testNetworkIP, 0, 0, 0));
    const std::string announced = "ArtNetService: Broadcast ArtPollReply (239 bytes) - IP: 10.254.0.2";
    EXPECT_LT(log.indexOf("ArtNetService: Listening on port " + std::to_string(options.listenPort) +
                          " (BSD socket with RDM support)"),
              log.indexOf(announced));
    service.stopListening();
    service.sendTimecode(5, 6, 7, 8, 3);
    EXPECT_EQ(listener.receive(), artnet::encodeTimeCode(5, 6, 7, 8, 3));
    EXPECT_EQ(log.count(announced), 1);
}
