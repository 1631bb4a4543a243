#include "web/RemoteURLs.h"

#include <algorithm>

namespace orvelo {

std::vector<std::string> remoteURLs(const std::vector<std::string>& listenAddresses,
                                    const std::vector<NetworkInterface>& interfaces, std::uint16_t port)
{
    std::vector<std::string> addresses;
    bool loopback = false;
    const auto add = [&](const std::string& address) {
        if (address.starts_with("127."))
            loopback = true;
        else if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    };
    for (const std::string& listened : listenAddresses) {
        if (listened != "0.0.0.0") {
            add(listened);
            continue;
        }
        for (const NetworkInterface& interface : interfaces)
            add(interface.ipAddress);
        loopback = true;
    }
    if (loopback)
        addresses.push_back("127.0.0.1");
    std::vector<std::string> urls;
    for (const std::string& address : addresses)
        urls.push_back("http://" + address + ":" + std::to_string(port) + "/");
    return urls;
}

} // namespace orvelo
