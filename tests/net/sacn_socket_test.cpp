// Protects the sACN receiver on real sockets: frames of any universe reach the main thread one by
// one, malformed ones do not, the universe groups are joined on the routed interface, and the
// last frame survives a stop. The receiver is read with pollOnce, one datagram at a time.
#include "net/SACNService.h"

#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <numeric>
#include <set>

using namespace orvelo;
using namespace orvelo::test;
using Frame = std::vector<std::uint8_t>;

namespace {

Frame padded(Frame values)
{
    values.resize(512, 0);
    return values;
}

// Groups joined on `device`, from /proc/net/igmp: a line per device ("index name ..."), then a
// tab-led line per group whose address is in network order read as a host-order hex word.
std::set<in_addr_t> joinedGroups(const std::string& device)
{
    std::ifstream table("/proc/net/igmp");
    std::set<in_addr_t> groups;
    std::string current;
    for (std::string line; std::getline(table, line);) {
        char name[32];
        unsigned address = 0;
        if (!line.empty() && line[0] != '\t' && std::sscanf(line.c_str(), "%*d %31s", name) == 1)
            current = name;
        else if (current == device && std::sscanf(line.c_str(), " %8x", &address) == 1)
            groups.insert(address);
    }
    return groups;
}

in_addr address(const char* dotted)
{
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a;
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
    SACNService service{SACNService::Options{port, {false, {}}}};
};

} // namespace

TEST_F(SACNServiceTest, PublishesEveryAcceptedFrameOfAnyUniverse)
{
    int frames = 0;
    int times = 0;
    QObject::connect(&service, &SACNService::lastDMXValuesChanged, [&](const Frame&) { ++frames; });
    QObject::connect(&service, &SACNService::lastPacketTimeChanged, [&] { ++times; });
    EXPECT_TRUE(
        log.contains("sACNService: Listening on port " + std::to_string(port) + " (BSD socket with multicast)"));
    EXPECT_FALSE(service.error());

    Frame first(24);
    std::iota(first.begin(), first.end(), 1);
    send(sacnDataPacket(3, first), console);
    EXPECT_EQ(service.lastDMXValues(), padded(first));
    EXPECT_TRUE(service.lastPacketTime());

    // Malformed: start code only, and a count that runs past the datagram.
    send(sacnDataPacket(1, {}), console);
    auto overlong = sacnDataPacket(1, {9, 9, 9});
    overlong[124] = 10;
    send(overlong, console);
    EXPECT_EQ(frames, 1);

    // Repeated frames are each handed over, and a foreign start code replaces the frame too.
    for (int i = 0; i < 3; ++i)
        send(sacnDataPacket(1, {7, 8, 9}), console);
    EXPECT_EQ(service.lastDMXValues(), padded({7, 8, 9}));
    send(sacnDataPacket(1, {200}, 0xDD), console);
    EXPECT_EQ(service.lastDMXValues(), padded({200}));
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(times, 5);

    const int third = log.indexOf("sACN DMX Update: Universe=3, Ch1=1");
    EXPECT_GE(third, 0);
    EXPECT_GT(log.indexOf("sACN DMX Update: Universe=1, Ch1=7"), third);
    EXPECT_TRUE(log.contains("sACN DMX Update: Universe=1, Ch1=200"));

    service.stopListening();
    service.startListening();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(service.isListening());
    EXPECT_EQ(service.lastDMXValues(), padded({200})) << "published values survive stop and start";
}

TEST_F(SACNServiceTest, JoinsTheUniverseGroupsOnTheRoutedInterface)
{
    EXPECT_TRUE(log.contains("sACNService: Using local IP 10.254.0.2 for multicast membership"));
    const auto groups = joinedGroups("show0");
    for (int universe = 1; universe <= 17; ++universe) {
        const std::string group = "239.255.0." + std::to_string(universe);
        EXPECT_EQ(groups.count(address(group.c_str()).s_addr), universe <= 16 ? 1u : 0u) << group;
    }

    // Multicast leaves through the test interface (so not from a loopback-bound socket) and
    // loops back to this host.
    const UdpPeer sender(0, true);
    const in_addr interface = address("10.254.0.2");
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
    const unsigned char loop = 1;
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    send(sacnDataPacket(3, {33}), sender, address("239.255.0.3").s_addr);
    EXPECT_EQ(service.lastDMXValues(), padded({33}));
}
