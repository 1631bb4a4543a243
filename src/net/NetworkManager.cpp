#include "net/NetworkManager.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace orvelo {

namespace {

// The loopback interface's name on Linux.
constexpr const char* loopbackName = "lo";

std::string numericIPv4(const sockaddr* address)
{
    if (!address || address->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (!::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
        return {};
    return text;
}

// Name of the interface of the IPv4 default route with the lowest metric, from
// /proc/net/route (columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...).
std::optional<std::string> defaultRouteInterface()
{
    std::ifstream table("/proc/net/route");
    if (!table)
        return std::nullopt;
    std::string line;
    std::getline(table, line); // column titles
    std::optional<std::string> best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >> mask))
            continue;
        constexpr unsigned long routeUp = 0x1;
        const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if (destination != "00000000" || mask != "00000000" || !(flagBits & routeUp))
            continue;
        const unsigned long metricValue = std::strtoul(metric.c_str(), nullptr, 10);
        if (!best || metricValue < bestMetric) {
            best = iface;
            bestMetric = metricValue;
        }
    }
    return best;
}

} // namespace

std::vector<NetworkInterface> NetworkManager::getAvailableInterfaces()
{
    std::vector<NetworkInterface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const unsigned required = IFF_UP | IFF_RUNNING;
        if ((entry->ifa_flags & required) != required || std::string(entry->ifa_name) == loopbackName)
            continue;
        NetworkInterface record;
        record.name = entry->ifa_name;
        record.ipAddress = numericIPv4(entry->ifa_addr);
        if (record.ipAddress.empty())
            continue;
        record.netmask = numericIPv4(entry->ifa_netmask);
        // ifa_broadaddr shares its slot with the point-to-point peer address. An address
        // configured without a broadcast address comes back with its own address in that
        // slot; that is no broadcast address at all.
        if (entry->ifa_flags & IFF_BROADCAST) {
            record.broadcastAddress = numericIPv4(entry->ifa_broadaddr);
            if (record.broadcastAddress == record.ipAddress)
                record.broadcastAddress.clear();
        }
        result.push_back(std::move(record));
    }
    ::freeifaddrs(list);
    return result;
}

std::optional<NetworkInterface> NetworkManager::primaryInterface()
{
    const auto interfaces = getAvailableInterfaces();
    if (interfaces.empty())
        return std::nullopt;
    if (const auto routed = defaultRouteInterface()) {
        for (const auto& candidate : interfaces)
            if (candidate.name == *routed)
                return candidate;
    }
    return interfaces.front();
}

std::optional<std::string> NetworkManager::getLocalIPAddress()
{
    if (auto primary = primaryInterface())
        return primary->ipAddress;
    return std::nullopt;
}

} // namespace orvelo
