#pragma once

#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "support/UdpTestSupport.h"

#include <optional>

// Datagrams a console sends, for the Art-Net tests.
namespace orvelo::test {

using Bytes = std::vector<std::uint8_t>;

inline const rdm::RdmUID consoleUID{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

// A datagram of the given OpCode whose body (version field included) has `bodyBytes` bytes.
inline Bytes artNetPacket(std::uint16_t opCode, std::size_t bodyBytes = 2)
{
    return ByteWriter().bytes(artnet::artNetID).u16le(opCode).u16be(14).zeros(bodyBytes - 2).take();
}

inline Bytes artDmx(int net, int subnet, int universe, const Bytes& values)
{
    ByteWriter w;
    w.bytes(artNetPacket(artnet::opOutput)).u8(1).u8(0).u8((subnet << 4) | universe).u8(net);
    return w.u16be(values.size()).bytes(values).take();
}

// An ArtRdm datagram carrying one request from consoleUID; `statedLength` overrides the PDL.
// The checksum is left zero: the node does not examine it.
inline Bytes rdmRequest(const rdm::RdmUID& destination, std::uint8_t commandClass, std::uint16_t pid,
                        const Bytes& data = {}, std::optional<std::uint8_t> statedLength = std::nullopt)
{
    ByteWriter m;
    m.u8(1).u8(24 + data.size()).bytes(destination).bytes(consoleUID).u8(7).u8(1).zeros(3).u8(commandClass);
    m.u16be(pid).u8(statedLength.value_or(data.size())).bytes(data).zeros(2);
    return artnet::encodeArtRdm(0, m.data());
}

} // namespace orvelo::test
