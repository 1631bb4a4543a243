#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// Datagrams a console sends, and a console's socket, for the Art-Net tests.
namespace orvelo::test {

using Bytes = std::vector<std::uint8_t>;

inline const rdm::RdmUID consoleUID{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

// A datagram of the given OpCode whose body (version field included) has `bodyBytes` bytes.
inline Bytes artNetPacket(std::uint16_t opCode, std::size_t bodyBytes = 2)
{
    Bytes d(artnet::artNetID.begin(), artnet::artNetID.end());
    d.push_back(static_cast<std::uint8_t>(opCode));
    d.push_back(static_cast<std::uint8_t>(opCode >> 8));
    d.push_back(0x00);
    d.push_back(0x0E);
    d.resize(d.size() + bodyBytes - 2, 0);
    return d;
}

inline Bytes artDmx(int net, int subnet, int universe, const Bytes& values)
{
    Bytes d = artNetPacket(artnet::opOutput);
    const Bytes header{0x01, 0x00, static_cast<std::uint8_t>((subnet << 4) | universe), static_cast<std::uint8_t>(net),
                       static_cast<std::uint8_t>(values.size() >> 8), static_cast<std::uint8_t>(values.size())};
    d.insert(d.end(), header.begin(), header.end());
    d.insert(d.end(), values.begin(), values.end());
    return d;
}

// An ArtRdm datagram carrying one request from consoleUID; `statedLength` overrides the PDL.
inline Bytes rdmRequest(const rdm::RdmUID& destination, std::uint8_t commandClass, std::uint16_t pid,
                        const Bytes& data = {}, std::optional<std::uint8_t> statedLength = std::nullopt)
{
    Bytes message{0x01, static_cast<std::uint8_t>(24 + data.size())};
    message.insert(message.end(), destination.begin(), destination.end());
    message.insert(message.end(), consoleUID.begin(), consoleUID.end());
    const Bytes rest{0x07, 0x01, 0x00, 0x00, 0x00, commandClass, static_cast<std::uint8_t>(pid >> 8),
                     static_cast<std::uint8_t>(pid), statedLength.value_or(static_cast<std::uint8_t>(data.size()))};
    message.insert(message.end(), rest.begin(), rest.end());
    message.insert(message.end(), data.begin(), data.end());
    message.push_back(0); // checksum, not examined
    message.push_back(0);
    return artnet::encodeArtRdm(0, message);
}

// A UDP port nobody holds right now, for a service under test.
inline std::uint16_t freeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A console on the same machine: one UDP socket, bound to 127.0.0.1 (any port) or to a given
// port on all addresses.
class UdpPeer {
public:
    explicit UdpPeer(std::uint16_t bindPort = 0, bool anyAddress = false)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(bindPort);
        address.sin_addr.s_addr = htonl(anyAddress ? INADDR_ANY : INADDR_LOOPBACK);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~UdpPeer() { ::close(fd_); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    bool bound() const { return bound_; }
    std::uint16_t port() const { return port_; }

    void sendTo(std::uint16_t port, const std::vector<std::uint8_t>& datagram) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    // The next datagram, or nothing when none arrives in time.
    std::optional<std::vector<std::uint8_t>> receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000),
                                                     sockaddr_in* from = nullptr) const
    {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1)
            return std::nullopt;
        std::vector<std::uint8_t> buffer(2048);
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (n < 0)
            return std::nullopt;
        if (from)
            *from = sender;
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
    std::uint16_t port_ = 0;
};

} // namespace orvelo::test
