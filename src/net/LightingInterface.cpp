#include "net/LightingInterface.h"

#include <arpa/inet.h>

namespace orvelo {

namespace {

std::optional<in_addr_t> hostOrder(const std::string& text)
{
    in_addr address{};
    if (text.empty() || ::inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

std::string dotted(in_addr_t hostOrderAddress)
{
    in_addr address{htonl(hostOrderAddress)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

} // namespace

std::optional<std::string> LightingInterface::broadcast() const
{
    if (hostOrder(broadcastSetting))
        return broadcastSetting;
    if (!chosen)
        return std::nullopt;
    if (hostOrder(chosen->broadcastAddress))
        return chosen->broadcastAddress;
    const auto address = hostOrder(chosen->ipAddress);
    const auto mask = hostOrder(chosen->netmask);
    if (address && mask)
        return dotted(*address | ~*mask);
    // No broadcast and no netmask (a point-to-point link): the limited broadcast still stays
    // on the link the system routes it to, which is the best there is.
    return std::nullopt;
}

bool LightingInterface::reaches(in_addr peer) const
{
    if (!chosen)
        return true;
    const in_addr_t target = ntohl(peer.s_addr);
    constexpr in_addr_t loopbackNet = 0x7F000000;
    if ((target & 0xFF000000) == loopbackNet)
        return true;
    const auto address = hostOrder(chosen->ipAddress);
    const auto mask = hostOrder(chosen->netmask);
    if (!address)
        return false;
    if (!mask)
        return target == *address;
    return (target & *mask) == (*address & *mask);
}

std::optional<NetworkInterface> interfaceWithAddress(const std::vector<NetworkInterface>& interfaces,
                                                     const std::string& address)
{
    for (const NetworkInterface& candidate : interfaces)
        if (candidate.ipAddress == address)
            return candidate;
    return std::nullopt;
}

bool sameInterface(const NetworkInterface& a, const NetworkInterface& b)
{
    return a.name == b.name && a.ipAddress == b.ipAddress && a.netmask == b.netmask &&
           a.broadcastAddress == b.broadcastAddress;
}

} // namespace orvelo
