#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace orvelo {

// What the receiver takes from an E1.31 (sACN) data packet: the universe and the slot values.
// Only the packet identifier, the universe and the property value count are examined;
// priority, sequence, options and start code are deliberately ignored.
struct SACNDataPacket {
    std::uint16_t universe = 0;
    // Slot 1 first, at most 512 values; a view into the datagram it was decoded from.
    std::span<const std::uint8_t> slotValues;
};

namespace SACNPacket {

inline constexpr std::uint16_t defaultPort = 5568;
inline constexpr std::size_t maxSlots = 512;
inline constexpr std::size_t slotsOffset = 126;

// "ASC-E1.17" followed by three zero bytes.
inline constexpr std::array<std::uint8_t, 12> acnPacketID{'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};

// Universes 1 to 16 are received through the groups 239.255.0.1 to 239.255.0.16.
inline constexpr int firstMulticastUniverse = 1;
inline constexpr int lastMulticastUniverse = 16;
// The IPv4 group of universe u (1-255), host byte order.
constexpr std::uint32_t multicastGroup(int universe)
{
    return (239u << 24) | (255u << 16) | static_cast<std::uint32_t>(universe & 0xFF);
}

// None for anything that is not an acceptable data packet: too short, foreign identifier,
// a property count below 2, or fewer slot bytes than the count announces (up to 512).
std::optional<SACNDataPacket> decode(std::span<const std::uint8_t> datagram);

} // namespace SACNPacket

} // namespace orvelo
