// Protects the addresses a headless player logs for the web remote: every one it answers on.
#include "web/RemoteURLs.h"

#include <gtest/gtest.h>

using namespace orvelo;
using Strings = std::vector<std::string>;

TEST(RemoteURLs, EveryAddressTheServerAnswersOnLoopbackLast)
{
    std::vector<NetworkInterface> interfaces(2);
    interfaces[0].ipAddress = "10.0.0.5";
    interfaces[1].ipAddress = "192.168.1.20";
    EXPECT_EQ(remoteURLs({"0.0.0.0"}, interfaces, 8080),
              (Strings{"http://10.0.0.5:8080/", "http://192.168.1.20:8080/", "http://127.0.0.1:8080/"}));
    EXPECT_EQ(remoteURLs({"10.0.0.5", "127.0.0.1"}, interfaces, 8080),
              (Strings{"http://10.0.0.5:8080/", "http://127.0.0.1:8080/"}));
    EXPECT_EQ(remoteURLs({"0.0.0.0"}, {}, 8080), Strings{"http://127.0.0.1:8080/"});
    EXPECT_EQ(remoteURLs({"127.0.0.1"}, interfaces, 8080), Strings{"http://127.0.0.1:8080/"});
}
