// The lighting interface: which broadcast address and peers a chosen interface gives, and how a
// chosen interface that goes away falls back to automatic and is taken again when it returns.
#include "net/LightingNetwork.h"

#include "support/TestSupport.h"

#include <arpa/inet.h>

using namespace orvelo;
using orvelo::test::LogCapture;

namespace {

NetworkInterface card(std::string name, std::string address, std::string netmask, std::string broadcast = {})
{
    return {.name = std::move(name),
            .ipAddress = std::move(address),
            .netmask = std::move(netmask),
            .broadcastAddress = std::move(broadcast)};
}

in_addr ipv4(const char* text)
{
    in_addr address{};
    inet_pton(AF_INET, text, &address);
    return address;
}

} // namespace

TEST(LightingInterface, BroadcastAndReachFollowTheChosenInterface)
{
    const LightingInterface automatic;
    EXPECT_EQ(automatic.broadcast(), std::nullopt);
    EXPECT_TRUE(automatic.reaches(ipv4("192.168.1.7")));
    EXPECT_EQ((LightingInterface{std::nullopt, "10.0.0.255"}.broadcast()), "10.0.0.255");

    const LightingInterface lighting{card("eth1", "2.0.0.10", "255.0.0.0", "2.255.255.255"), ""};
    EXPECT_EQ(lighting.broadcast(), "2.255.255.255");
    EXPECT_TRUE(lighting.reaches(ipv4("2.1.2.3")));
    EXPECT_TRUE(lighting.reaches(ipv4("127.0.0.1")));
    EXPECT_FALSE(lighting.reaches(ipv4("192.168.1.7")));
    // A broadcast address in the settings wins; one the system did not report comes from the mask.
    EXPECT_EQ((LightingInterface{lighting.chosen, "2.0.255.255"}.broadcast()), "2.0.255.255");
    EXPECT_EQ((LightingInterface{card("eth1", "10.77.0.2", "255.255.255.0"), ""}.broadcast()), "10.77.0.255");
    // Neither broadcast nor mask (a point-to-point link): nothing narrower to offer; only itself is reached.
    const LightingInterface link{card("ppp0", "10.9.0.1", ""), ""};
    EXPECT_EQ(link.broadcast(), std::nullopt);
    EXPECT_TRUE(link.reaches(ipv4("10.9.0.1")));
    EXPECT_FALSE(link.reaches(ipv4("10.9.0.2")));
}

TEST(LightingNetwork, AChosenInterfaceFallsBackWhileGoneAndReturns)
{
    LogCapture log;
    const NetworkInterface lightingCard = card("eth1", "10.77.0.2", "255.255.255.0", "10.77.0.255");
    std::vector<NetworkInterface> present{card("eth0", "10.254.0.2", "255.255.255.0"), lightingCard};
    LightingNetwork network([&] { return present; });
    int changes = 0;
    QObject::connect(&network, &LightingNetwork::changed, [&] { ++changes; });

    network.choose(std::string("10.77.0.2"), std::nullopt);
    ASSERT_TRUE(network.current().chosen);
    EXPECT_EQ(network.current().chosen->name, "eth1");
    EXPECT_EQ(network.ownAddress(), "10.77.0.2");
    EXPECT_TRUE(log.contains("LightingNetwork: Lighting protocols on eth1 (10.77.0.2)"));

    // Nothing changed: no notice, so the services do not re-announce every two seconds.
    network.refresh();
    network.choose(std::string("10.77.0.2"), std::nullopt);
    EXPECT_EQ(changes, 1);

    present.pop_back();
    network.refresh();
    EXPECT_FALSE(network.current().chosen);
    EXPECT_TRUE(log.contains("LightingNetwork: Interface 10.77.0.2 is gone - using the automatic interface"));
    EXPECT_EQ(changes, 2);

    present.push_back(lightingCard);
    network.refresh();
    EXPECT_EQ(network.ownAddress(), "10.77.0.2");
    EXPECT_TRUE(log.contains("LightingNetwork: Interface 10.77.0.2 is back - lighting protocols on eth1 (10.77.0.2)"));
    EXPECT_EQ(changes, 3);

    network.choose(std::string("10.1.1.1"), std::nullopt);
    EXPECT_FALSE(network.current().chosen);
    EXPECT_TRUE(log.contains("LightingNetwork: Interface 10.1.1.1 is not available - using the automatic interface"));

    network.choose(std::nullopt, std::string("10.254.0.255"));
    EXPECT_FALSE(network.current().chosen);
    EXPECT_EQ(network.current().broadcast(), "10.254.0.255");
    EXPECT_TRUE(log.contains("LightingNetwork: Lighting protocols on the automatic interface"));
    EXPECT_EQ(changes, 5);
}
