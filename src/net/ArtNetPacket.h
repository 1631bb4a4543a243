#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvelo::artnet {

// Every Art-Net layout the node reads or writes (protocol version 14). Pure: bytes in,
// values out; no sockets, threads or logging.

using IPv4Bytes = std::array<std::uint8_t, 4>;
using RdmUID = std::array<std::uint8_t, 6>;

inline constexpr std::array<std::uint8_t, 8> artNetID{'A', 'r', 't', '-', 'N', 'e', 't', 0};

inline constexpr std::uint16_t opPoll = 0x2000;
inline constexpr std::uint16_t opPollReply = 0x2100;
inline constexpr std::uint16_t opOutput = 0x5000;
inline constexpr std::uint16_t opTodRequest = 0x8000;
inline constexpr std::uint16_t opTodData = 0x8100;
inline constexpr std::uint16_t opTodControl = 0x8200;
inline constexpr std::uint16_t opRdm = 0x8300;
inline constexpr std::uint16_t opTimeCode = 0x9700;

inline constexpr std::uint16_t defaultPort = 6454;
inline constexpr std::size_t maxChannels = 512;

inline constexpr std::size_t pollReplySize = 239;
inline constexpr std::size_t todDataSize = 34;
inline constexpr std::size_t timeCodeSize = 19;
inline constexpr std::size_t artRdmHeaderSize = 24;
// The header and the RDM message up to and including its parameter-data length.
inline constexpr std::size_t minArtRdmSize = 47;

inline constexpr IPv4Bytes fallbackIPv4{192, 168, 1, 11};

// The poll answer goes to whoever polled; the announcement is broadcast every 3 s.
enum class PollReplyVariant { pollAnswer, announcement };

// The 15-bit Port-Address the node listens to: net in bits 14-8, sub-net in 7-4, universe in
// 3-0, combined by OR (a universe above 15 overlaps the sub-net bits).
int portAddress(int net, int subnet, int universe);
// The one-byte Address of ArtTodData and ArtRdm: sub-net in the high nibble OR universe.
std::uint8_t addressByte(int subnet, int universe);

// The OpCode of an Art-Net datagram, or nothing for anything else (shorter than 12 bytes,
// foreign ID).
std::optional<std::uint16_t> decodeHeader(std::span<const std::uint8_t> datagram);

// A Port-Address as consoles show it: "net:sub-net:universe", e.g. "0:0:1".
std::string portAddressText(int portAddress);

struct ArtDmxFrame {
    int portAddress = 0;
    std::span<const std::uint8_t> values; // 0-512 channel values
};
// An ArtDmx of any Port-Address, or nothing when it is shorter than its Length says.
std::optional<ArtDmxFrame> decodeArtDmxFrame(std::span<const std::uint8_t> datagram);

// The 0-512 channel values of an ArtDmx for `portAddress`, or nothing when the datagram is
// for another Port-Address or shorter than its Length says.
std::optional<std::span<const std::uint8_t>> decodeArtDmx(std::span<const std::uint8_t> datagram, int portAddress);

// The RDM message of an ArtRdm (from its sub-start code on), or nothing when too short.
std::optional<std::span<const std::uint8_t>> decodeArtRdm(std::span<const std::uint8_t> datagram);

// An ArtTimeCode as a console or show controller sends it. Type 0 film (24 fps), 1 EBU (25),
// 2 drop frame (29.97, counted as 30), 3 SMPTE (30).
struct ArtTimeCode {
    std::uint8_t hours;
    std::uint8_t minutes;
    std::uint8_t seconds;
    std::uint8_t frames;
    std::uint8_t type;
    double framesPerSecond() const;
    // Frames since midnight at the type's rate.
    long long frameOfDay() const;
};
// Nothing for a short datagram, an unknown type or a field out of range.
std::optional<ArtTimeCode> decodeTimeCode(std::span<const std::uint8_t> datagram);

std::vector<std::uint8_t> encodePollReply(PollReplyVariant variant, const IPv4Bytes& ip, std::uint8_t net,
                                          std::uint8_t subnet, std::uint8_t universe);
std::vector<std::uint8_t> encodeTodData(std::uint8_t net, std::uint8_t address, const RdmUID& uid);
// `message` is an RDM message without its start code.
std::vector<std::uint8_t> encodeArtRdm(std::uint8_t address, std::span<const std::uint8_t> message);
std::vector<std::uint8_t> encodeTimeCode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                                         std::uint8_t frames, std::uint8_t type);

// Dotted IPv4 text to four bytes: pieces between dots that are empty are dropped, pieces that
// are not a number 0-255 are skipped; anything but exactly four bytes, or no address at all,
// gives 192.168.1.11.
IPv4Bytes parseIPv4(std::optional<std::string_view> dotted);

} // namespace orvelo::artnet
