// Protects which processes port clearing may kill: only those bound to the local port, never
// one that merely sends to it.
#include "net/PortManager.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(PortManager, OnlyLocalBindsOfThePortCount)
{
    const std::string output = "p100\nf3\nn*:6454\n"                             // bound on all addresses
                               "p200\nf4\nn127.0.0.1:51000->127.0.0.1:6454\n"    // sends to the port
                               "p300\nf5\nn10.0.0.2:6454\nf6\nn127.0.0.1:6454\n" // bound twice: listed once
                               "p400\nf7\nn127.0.0.1:16454\n"                    // another port ending in 6454
                               "p500\nf8\nn[::]:6454\n"                          // IPv6
                               "p600\nf9\nn127.0.0.1:6454->127.0.0.1:9000\n";    // bound and connected
    EXPECT_EQ(PortManager::processesBoundTo(output, 6454), (std::vector<std::string>{"100", "300", "500", "600"}));
    EXPECT_TRUE(PortManager::processesBoundTo("", 6454).empty());
    EXPECT_TRUE(PortManager::processesBoundTo("n*:6454\n", 6454).empty());
}
