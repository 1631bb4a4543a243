#include "net/OwnEchoes.h"

#include "net/NetworkManager.h"

#include <arpa/inet.h>

#include <algorithm>

namespace orvelo {

void OwnEchoes::sent(std::span<const std::uint8_t> datagram)
{
    std::lock_guard lock(mutex_);
    sent_.emplace_back(datagram.begin(), datagram.end());
    if (sent_.size() > remembered)
        sent_.pop_front();
}

void OwnEchoes::setOwnAddresses(const std::vector<std::string>& addresses)
{
    std::vector<in_addr_t> own;
    for (const std::string& text : addresses) {
        in_addr address{};
        if (::inet_pton(AF_INET, text.c_str(), &address) == 1)
            own.push_back(address.s_addr);
    }
    std::lock_guard lock(mutex_);
    own_ = std::move(own);
}

void OwnEchoes::learnHostAddresses()
{
    std::vector<std::string> addresses;
    for (const NetworkInterface& interface : NetworkManager::getAvailableInterfaces())
        addresses.push_back(interface.ipAddress);
    setOwnAddresses(addresses);
}

bool OwnEchoes::isEcho(std::span<const std::uint8_t> datagram, const sockaddr_in& from) const
{
    const bool loopback = (ntohl(from.sin_addr.s_addr) >> 24) == 127;
    std::lock_guard lock(mutex_);
    if (!loopback && std::find(own_.begin(), own_.end(), from.sin_addr.s_addr) == own_.end())
        return false;
    return std::any_of(sent_.begin(), sent_.end(), [&](const std::vector<std::uint8_t>& mine) {
        return std::equal(mine.begin(), mine.end(), datagram.begin(), datagram.end());
    });
}

} // namespace orvelo
