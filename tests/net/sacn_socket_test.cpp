// The sACN receiver on real sockets (read with pollOnce, one datagram at a time): frames of any
// universe reach the main thread, malformed ones do not, groups are joined on the routed card.
#include "net/SACNService.h"

#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>

using namespace orvelo;
using namespace orvelo::test;
using Frame = std::vector<std::uint8_t>;

namespace {

Frame padded(Frame values)
{
    values.resize(512, 0);
    return values;
}

class SACNServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        service.startListening();
        QCoreApplication::sendPostedEvents();
        ASSERT_TRUE(service.isListening());
    }

    // Reads one datagram and runs what it posted to the main thread.
    void send(const Frame& datagram, const UdpPeer& from, in_addr_t to = htonl(INADDR_LOOPBACK))
    {
        from.sendTo(port, datagram, to);
        ASSERT_TRUE(service.pollOnce());
        QCoreApplication::sendPostedEvents();
    }

    const std::uint16_t port = freeUdpPort();
    LogCapture log;
    UdpPeer console;
    SACNService service{SACNService::Options{port, nullptr, {false, {}}}};
};

} // namespace

TEST_F(SACNServiceTest, PublishesEveryAcceptedFrameOfAnyUniverse)
{
    int frames = 0;
    QObject::connect(&service, &SACNService::lastDMXValuesChanged, [&](const Frame&) { ++frames; });
    EXPECT_TRUE(
        log.contains("sACNService: Listening on port " + std::to_string(port) + " (BSD socket with multicast)"));
    send(sacnDataPacket(3, {1, 2, 3}), console);
    EXPECT_EQ(service.lastDMXValues(), padded({1, 2, 3}));
    EXPECT_TRUE(service.lastPacketTime());

    // A malformed one (a count that runs past the datagram) is dropped; repeated frames are each
    // handed over and logged.
    auto overlong = sacnDataPacket(1, {9, 9, 9});
    overlong[124] = 10;
    send(overlong, console);
    for (int i = 0; i < 2; ++i)
        send(sacnDataPacket(1, {200}), console);
    EXPECT_EQ(frames, 3);
    EXPECT_GT(log.indexOf("sACN DMX Update: Universe=1, Ch1=200"), log.indexOf("sACN DMX Update: Universe=3, Ch1=1"));

    service.stopListening();
    service.startListening();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(service.isListening());
    EXPECT_EQ(service.lastDMXValues(), padded({200})) << "published values survive stop and start";
}

TEST_F(SACNServiceTest, JoinsTheUniverseGroupsOnTheRoutedInterface)
{
    EXPECT_TRUE(log.contains("sACNService: Using local IP 10.254.0.2 for multicast membership"));
    // Multicast leaves through the test interface (so not from a loopback-bound socket) and
    // loops back to this host, for the last group joined.
    const UdpPeer sender(0, true);
    const in_addr interface {
        ::inet_addr("10.254.0.2")
    };
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
    const unsigned char loop = 1;
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    send(sacnDataPacket(16, {33}), sender, ::inet_addr("239.255.0.16"));
    EXPECT_EQ(service.lastDMXValues(), padded({33}));
}
