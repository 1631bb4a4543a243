#pragma once

#include "platform/ByteWriter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <random>
#include <vector>

// A console's socket and the datagrams it sends, for tests and benchmarks over loopback.
namespace orvelo::test {

// `address` in network order.
inline sockaddr_in ipv4(std::uint16_t port, in_addr_t address)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    return a;
}

// A socket of `type` bound to `port` (0: the system picks one) on `address` (host order), without
// allowing reuse; a stream socket also listens. Closed when it goes or is released.
class BoundSocket {
public:
    BoundSocket(int type, std::uint16_t port, in_addr_t address) : fd_(::socket(AF_INET, type | SOCK_CLOEXEC, 0))
    {
        sockaddr_in a = ipv4(port, htonl(address));
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                 (type != SOCK_STREAM || ::listen(fd_, 1) == 0);
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~BoundSocket() { release(); }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;

    bool bound() const { return bound_; }
    std::uint16_t port() const { return port_; }
    int fd() const { return fd_; }
    void release()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
    bool bound_ = false;
    std::uint16_t port_ = 0;
};

// A UDP port nobody holds right now, for a service under test. It lies below the system's
// ephemeral range: a socket bound to port 0 in another test process cannot be handed it while
// a test has stopped its service and is about to start it again on the same port.
inline std::uint16_t freeUdpPort()
{
    int ephemeralLow = 32768;
    if (std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range"); range)
        range >> ephemeralLow;
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(10000, std::max(11000, ephemeralLow) - 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const BoundSocket probe(SOCK_DGRAM, static_cast<std::uint16_t>(attempt < 99 ? pick(random) : 0), INADDR_ANY);
        if (probe.bound())
            return probe.port();
    }
    return 0;
}

// A UDP socket connected to `port` on 127.0.0.1, for a sender that only ever talks to one node.
inline int connectedUdpSocket(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = ipv4(port, htonl(INADDR_LOOPBACK));
    ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return fd;
}

// A console on the same machine: one UDP socket, bound to 127.0.0.1 (any port) or to a given
// port on all addresses.
class UdpPeer : public BoundSocket {
public:
    explicit UdpPeer(std::uint16_t bindPort = 0, bool anyAddress = false)
        : BoundSocket(SOCK_DGRAM, bindPort, anyAddress ? INADDR_ANY : INADDR_LOOPBACK)
    {
        const int one = 1;
        ::setsockopt(fd(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    }

    // `address` in network order; loopback unless a test says otherwise.
    void sendTo(std::uint16_t port, const std::vector<std::uint8_t>& datagram,
                in_addr_t address = htonl(INADDR_LOOPBACK)) const
    {
        const sockaddr_in to = ipv4(port, address);
        ::sendto(fd(), datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    // The next datagram, or nothing when none arrives in time.
    std::optional<std::vector<std::uint8_t>>
    receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000), sockaddr_in* from = nullptr) const
    {
        pollfd wait{fd(), POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1)
            return std::nullopt;
        std::vector<std::uint8_t> buffer(2048);
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n =
            ::recvfrom(fd(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (n < 0)
            return std::nullopt;
        if (from)
            *from = sender;
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
    }
};

// Holds a port on all addresses without allowing reuse, so a service's bind fails (TCP listens,
// since a bound TCP socket alone does not stop a reusing bind). Port 0 lets the system pick.
class PortHolder : public BoundSocket {
public:
    explicit PortHolder(std::uint16_t port, int type = SOCK_DGRAM) : BoundSocket(type, port, INADDR_ANY) {}
};

// An E1.31 data packet for `universe` whose DMP property values are `startCode` then `values`.
inline std::vector<std::uint8_t> sacnDataPacket(std::uint16_t universe, const std::vector<std::uint8_t>& values,
                                                std::uint8_t startCode = 0)
{
    ByteWriter w;
    w.u16be(0x0010).u16be(0).text("ASC-E1.17", 12);
    w.u16be(static_cast<std::uint16_t>(0x7000 | (110 + values.size()))).u32be(4).zeros(16);
    w.u16be(static_cast<std::uint16_t>(0x7000 | (88 + values.size()))).u32be(2).text("Test console", 64);
    w.u8(100).u16be(0).u8(0).u8(0).u16be(universe);
    w.u16be(static_cast<std::uint16_t>(0x7000 | (11 + values.size()))).u8(2).u8(0xA1).u16be(0).u16be(1);
    w.u16be(static_cast<std::uint16_t>(values.size() + 1)).u8(startCode).bytes(values);
    return w.take();
}

} // namespace orvelo::test
