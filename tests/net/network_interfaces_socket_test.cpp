// Protects interface enumeration and the choice of the node's own address: the private test
// network's interface is listed with the system's mask and broadcast, loopback never is, and the
// primary interface is the one with the default route.
#include "net/NetworkManager.h"

#include "support/TestSupport.h"

#include <algorithm>

using namespace orvelo;

TEST(NetworkManager, ListsTheTestInterfaceAndNotLoopback)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto interfaces = NetworkManager::getAvailableInterfaces();
    const auto show0 =
        std::find_if(interfaces.begin(), interfaces.end(), [](const NetworkInterface& i) { return i.name == "show0"; });
    ASSERT_NE(show0, interfaces.end());
    EXPECT_EQ(show0->ipAddress, "10.254.0.2");
    EXPECT_EQ(show0->netmask, "255.255.255.0");
    EXPECT_EQ(show0->broadcastAddress, "10.254.0.255");
    for (const auto& i : interfaces)
        EXPECT_NE(i.name, "lo");
}

TEST(NetworkManager, EnumerationsGiveDistinctRecordsAndThePrimaryCarriesTheDefaultRoute)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto first = NetworkManager::getAvailableInterfaces();
    const auto second = NetworkManager::getAvailableInterfaces();
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first.front(), second.front()) << "each record has an id of its own";
    EXPECT_EQ(NetworkManager::primaryInterface().value_or(NetworkInterface{}).name, "show0");
    EXPECT_EQ(NetworkManager::getLocalIPAddress(), std::optional<std::string>("10.254.0.2"));
}
