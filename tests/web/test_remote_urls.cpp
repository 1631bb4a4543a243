// Protects the addresses a headless player logs for the web remote: every one it answers on.
#include "web/RemoteURLs.h"

#include <gtest/gtest.h>

using namespace orvelo;
using Strings = std::vector<std::string>;

TEST(RemoteURLs, EveryAddressTheServerAnswersOnLoopbackLast)
{
    NetworkInterface show;
    show.ipAddress = "10.0.0.5";
    NetworkInterface office;
    office.ipAddress = "192.168.1.20";
    const std::vector<NetworkInterface> interfaces{show, office};
    const struct {
        Strings listening;
        std::vector<NetworkInterface> interfaces;
        Strings urls;
    } cases[] = {
        {{"0.0.0.0"}, interfaces, {"http://10.0.0.5:8080/", "http://192.168.1.20:8080/", "http://127.0.0.1:8080/"}},
        {{"10.0.0.5", "127.0.0.1"}, interfaces, {"http://10.0.0.5:8080/", "http://127.0.0.1:8080/"}},
        {{"0.0.0.0"}, {}, {"http://127.0.0.1:8080/"}},
        {{"127.0.0.1"}, interfaces, {"http://127.0.0.1:8080/"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(remoteURLs(c.listening, c.interfaces, 8080), c.urls) << c.listening.front();
}
