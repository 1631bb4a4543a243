// Protects the sACN receiver on real sockets: frames of any universe reach the main thread one by
// one, malformed ones do not, the universe groups are joined on the routed interface, and the
// last frame survives a stop. The receiver is read with pollOnce, one datagram at a time.
#include "net/SACNService.h"

#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>

#include <fstream>
#include <set>
#include <sstream>

using namespace orvelo;
using namespace orvelo::test;
using Frame = std::vector<std::uint8_t>;

namespace {

Frame padded(Frame values)
{
    values.resize(512, 0);
    return values;
}

// Groups joined on `device`, from /proc/net/igmp, as dotted text.
std::set<std::string> joinedGroups(const std::string& device)
{
    std::ifstream table("/proc/net/igmp");
    std::set<std::string> groups;
    std::string line, current;
    while (std::getline(table, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        if (line[0] != '\t') {
            std::string index;
            fields >> index >> current;
            continue;
        }
        std::string hex;
        fields >> hex;
        if (current != device || hex.size() != 8)
            continue;
        // The kernel prints the address in network order read as a host-order word.
        in_addr address{};
        address.s_addr = static_cast<in_addr_t>(std::stoul(hex, nullptr, 16));
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        groups.insert(text);
    }
    return groups;
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
    void read()
    {
        ASSERT_TRUE(service.pollOnce());
        QCoreApplication::sendPostedEvents();
    }

    void send(std::uint16_t universe, const Frame& values, std::uint8_t startCode = 0)
    {
        console.sendTo(port, sacnDataPacket(universe, values, startCode));
        read();
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
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<std::uint8_t>(i + 1);
    send(3, first);
    EXPECT_EQ(service.lastDMXValues(), padded(first));
    EXPECT_TRUE(service.lastPacketTime());

    // Malformed: start code only, and a count that runs past the datagram.
    send(1, {});
    auto overlong = sacnDataPacket(1, {9, 9, 9});
    overlong[124] = 10;
    console.sendTo(port, overlong);
    read();
    EXPECT_EQ(frames, 1);
    send(1, {7, 8, 9});
    EXPECT_EQ(service.lastDMXValues(), padded({7, 8, 9}));

    // Repeated frames are each handed over, and a foreign start code replaces the frame too.
    send(1, {7, 8, 9});
    send(1, {7, 8, 9});
    send(1, {200}, 0xDD);
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
    for (int universe = 1; universe <= 16; ++universe)
        EXPECT_TRUE(groups.count("239.255.0." + std::to_string(universe))) << "universe " << universe;
    EXPECT_FALSE(groups.count("239.255.0.17"));

    // Multicast leaves through the test interface (so not from a loopback-bound socket) and
    // loops back to this host.
    const UdpPeer sender(0, true);
    in_addr interface {
    };
    ::inet_pton(AF_INET, "10.254.0.2", &interface);
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
    const unsigned char loop = 1;
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    in_addr group{};
    ::inet_pton(AF_INET, "239.255.0.3", &group);
    sender.sendTo(port, sacnDataPacket(3, {33}), group.s_addr);
    read();
    EXPECT_EQ(service.lastDMXValues(), padded({33}));
}
