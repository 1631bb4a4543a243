#pragma once

#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "support/UdpTestSupport.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// Datagrams a console sends, for the Art-Net tests.
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
    const Bytes header{0x01,
                       0x00,
                       static_cast<std::uint8_t>((subnet << 4) | universe),
                       static_cast<std::uint8_t>(net),
                       static_cast<std::uint8_t>(values.size() >> 8),
                       static_cast<std::uint8_t>(values.size())};
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
    const Bytes rest{0x07,
                     0x01,
                     0x00,
                     0x00,
                     0x00,
                     commandClass,
                     static_cast<std::uint8_t>(pid >> 8),
                     static_cast<std::uint8_t>(pid),
                     statedLength.value_or(static_cast<std::uint8_t>(data.size()))};
    message.insert(message.end(), rest.begin(), rest.end());
    message.insert(message.end(), data.begin(), data.end());
    message.push_back(0); // checksum, not examined
    message.push_back(0);
    return artnet::encodeArtRdm(0, message);
}

} // namespace orvelo::test
