// Interface enumeration: the test network's card is listed with its mask, loopback never is, and
// the primary interface is the one with the default route.
#include "net/NetworkManager.h"

#include "support/TestSupport.h"

using namespace orvelo;

TEST(NetworkManager, ListsTheTestInterfaceButNotLoopbackAndThePrimaryCarriesTheDefaultRoute)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto first = NetworkManager::getAvailableInterfaces();
    const auto second = NetworkManager::getAvailableInterfaces();
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first.front(), second.front()) << "each record has an id of its own";
    for (const auto& i : first)
        EXPECT_NE(i.name, "lo");
    const auto primary = NetworkManager::primaryInterface().value_or(NetworkInterface{});
    EXPECT_EQ(primary.name, "show0");
    EXPECT_EQ(primary.netmask, "255.255.255.0");
    EXPECT_EQ(NetworkManager::getLocalIPAddress(), std::optional<std::string>("10.254.0.2"));
}
