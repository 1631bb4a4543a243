#include "net/SACNPacket.h"

#include "platform/ByteReader.h"

#include <algorithm>

namespace orvelo::SACNPacket {

namespace {
constexpr std::size_t identifierOffset = 4;
constexpr std::size_t universeOffset = 113;
constexpr std::size_t propertyCountOffset = 123;
} // namespace

std::optional<SACNDataPacket> decode(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < slotsOffset)
        return std::nullopt;

    ByteReader identifier(datagram, identifierOffset);
    const auto id = identifier.bytes(acnPacketID.size());
    if (!id || !std::equal(id->begin(), id->end(), acnPacketID.begin()))
        return std::nullopt;

    const auto universe = ByteReader(datagram, universeOffset).u16be();
    const auto count = ByteReader(datagram, propertyCountOffset).u16be();
    if (!universe || !count || *count < 2)
        return std::nullopt;

    // The count includes the start code; a count beyond 513 is cut to a full frame.
    const std::size_t slotCount = std::min<std::size_t>(*count - 1u, maxSlots);
    const auto slotValues = ByteReader(datagram, slotsOffset).bytes(slotCount);
    if (!slotValues)
        return std::nullopt;
    return SACNDataPacket{*universe, *slotValues};
}

} // namespace orvelo::SACNPacket
