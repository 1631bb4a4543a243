#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace orvelo {

// What a node sent lately and from which addresses, so that its own broadcasts heard back
// (announcements, timecode) are told from a peer's traffic and kept out of the log. A datagram
// is an echo only when it comes from one of the host's own addresses and equals one that was
// sent, so another program on the same host is still heard. Any thread.
class OwnEchoes {
public:
    static constexpr std::size_t remembered = 16;

    void sent(std::span<const std::uint8_t> datagram);
    // The host's interface addresses as dotted text; loopback is always the host's own.
    void setOwnAddresses(const std::vector<std::string>& addresses);
    // Takes the addresses of the host's interfaces as they are now (a cable may come late).
    void learnHostAddresses();
    bool isEcho(std::span<const std::uint8_t> datagram, const sockaddr_in& from) const;

private:
    mutable std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> sent_;
    std::vector<in_addr_t> own_;
};

} // namespace orvelo
