#include "net/ArtNetPacket.h"

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "platform/Version.h"

#include <algorithm>
#include <charconv>

namespace orvelo::artnet {

namespace {

constexpr std::uint8_t protocolVersionHi = 0x00;
constexpr std::uint8_t protocolVersionLo = 0x0E;
constexpr std::uint8_t rdmVersion = 0x01;
constexpr std::size_t artDmxHeaderSize = 18;

ByteWriter& header(ByteWriter& w, std::uint16_t opCode)
{
    return w.bytes(artNetID).u16le(opCode);
}

ByteWriter& protocolVersion(ByteWriter& w)
{
    return w.u8(protocolVersionHi).u8(protocolVersionLo);
}

} // namespace

int portAddress(int net, int subnet, int universe)
{
    return (net << 8) | (subnet << 4) | universe;
}

std::uint8_t addressByte(int subnet, int universe)
{
    return static_cast<std::uint8_t>((subnet << 4) | universe);
}

std::optional<std::uint16_t> decodeHeader(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < 12)
        return std::nullopt;
    ByteReader r(datagram);
    const auto id = r.bytes(artNetID.size());
    if (!id || !std::equal(id->begin(), id->end(), artNetID.begin()))
        return std::nullopt;
    return r.u16le();
}

std::string portAddressText(int portAddress)
{
    return std::to_string(portAddress >> 8) + ":" + std::to_string((portAddress >> 4) & 0x0F) + ":" +
           std::to_string(portAddress & 0x0F);
}

std::optional<ArtDmxFrame> decodeArtDmxFrame(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < artDmxHeaderSize)
        return std::nullopt;
    ByteReader r(datagram, 14);
    const auto address = r.u16le();
    const auto length = r.u16be();
    if (!address || !length)
        return std::nullopt;
    const auto values = r.bytes(std::min<std::size_t>(*length, maxChannels));
    if (!values)
        return std::nullopt;
    return ArtDmxFrame{*address, *values};
}

std::optional<std::span<const std::uint8_t>> decodeArtDmx(std::span<const std::uint8_t> datagram, int portAddress)
{
    const auto frame = decodeArtDmxFrame(datagram);
    if (!frame || frame->portAddress != portAddress)
        return std::nullopt;
    return frame->values;
}

std::optional<std::span<const std::uint8_t>> decodeArtRdm(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < minArtRdmSize)
        return std::nullopt;
    return datagram.subspan(artRdmHeaderSize);
}

double ArtTimeCode::framesPerSecond() const
{
    static constexpr double rates[] = {24.0, 25.0, 30.0, 30.0};
    return rates[type & 3];
}

long long ArtTimeCode::frameOfDay() const
{
    const auto fps = static_cast<long long>(framesPerSecond());
    return ((hours * 60LL + minutes) * 60 + seconds) * fps + frames;
}

std::optional<ArtTimeCode> decodeTimeCode(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < timeCodeSize)
        return std::nullopt;
    ByteReader r(datagram, 14);
    const auto frames = r.u8();
    const auto seconds = r.u8();
    const auto minutes = r.u8();
    const auto hours = r.u8();
    const auto type = r.u8();
    if (!frames || !seconds || !minutes || !hours || !type || *type > 3)
        return std::nullopt;
    const ArtTimeCode code{*hours, *minutes, *seconds, *frames, *type};
    if (*hours > 23 || *minutes > 59 || *seconds > 59 || *frames >= code.framesPerSecond())
        return std::nullopt;
    return code;
}

std::vector<std::uint8_t> encodePollReply(PollReplyVariant variant, const IPv4Bytes& ip, std::uint8_t net,
                                          std::uint8_t subnet, std::uint8_t universe)
{
    const bool announce = variant == PollReplyVariant::announcement;
    ByteWriter w(pollReplySize);
    header(w, opPollReply);
    w.bytes(ip)
        .u16le(defaultPort)
        .u8(0x00)
        .u8(0x0E) // VersInfoH, VersInfoL
        .u8(net)
        .u8(subnet) // NetSwitch, SubSwitch
        .u8(0xFF)
        .u8(0xFF)                   // OemHi, Oem
        .u8(0x00)                   // Ubea version
        .u8(announce ? 0xD2 : 0x02) // Status1: bit 1, RDM capable
        .u8(0xF0)
        .u8(0x7F) // EstaManLo, EstaManHi
        .text("ORVELONODE", 18)
        .text("ORVELONODE V." + std::string(versionText) + " - Media Server", 64)
        .text(announce ? "#0001 [0000] Orvelonode OK" : "#0001 [OK] Art-Net RDM Ready", 64)
        .u8(0x00)
        .u8(0x01) // NumPortsHi, NumPortsLo
        .u8(announce ? 0xC0 : 0x80)
        .zeros(3) // PortTypes
        .u8(announce ? 0x80 : 0x00)
        .zeros(3) // GoodInput
        .u8(0x82)
        .zeros(3) // GoodOutputA
        .u8(universe)
        .zeros(3) // SwIn
        .u8(universe)
        .zeros(3) // SwOut
        .u8(0)
        .u8(0)
        .u8(0)                      // AcnPriority, SwMacro, SwRemote
        .zeros(3)                   // Spare
        .u8(0x00)                   // Style: StNode
        .zeros(6)                   // MAC address, not reported
        .bytes(ip)                  // BindIp
        .u8(announce ? 0x01 : 0x00) // BindIndex
        .u8(announce ? 0x0E : 0x08) // Status2
        .u8(announce ? 0x80 : 0x00)
        .zeros(3)   // GoodOutputB
        .u8(0)      // Status3
        .zeros(21); // DefaultRespUID, User, RefreshRate, Filler
    return w.take();
}

std::vector<std::uint8_t> encodeTodData(std::uint8_t net, std::uint8_t address, const RdmUID& uid)
{
    ByteWriter w(todDataSize);
    header(w, opTodData);
    protocolVersion(w)
        .u8(rdmVersion)
        .u8(0x00) // Port
        .zeros(6) // Spare
        .u8(0x00) // BindIndex
        .u8(net)
        .u8(0x00) // CommandResponse: TodFull
        .u8(address)
        .u16be(1) // UidTotal
        .u8(0x00) // BlockCount
        .u8(0x01) // UidCount
        .bytes(uid);
    return w.take();
}

std::vector<std::uint8_t> encodeArtRdm(std::uint8_t address, std::span<const std::uint8_t> message)
{
    ByteWriter w(artRdmHeaderSize + message.size());
    header(w, opRdm);
    protocolVersion(w)
        .u8(rdmVersion)
        .u8(0)    // Filler
        .zeros(5) // Spare
        .u8(0)    // FifoAvail
        .u8(0)    // FifoMax
        .u8(0)    // Net
        .u8(0x00) // Command: ArProcess
        .u8(address)
        .bytes(message);
    return w.take();
}

std::vector<std::uint8_t> encodeTimeCode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                                         std::uint8_t frames, std::uint8_t type)
{
    ByteWriter w(timeCodeSize);
    header(w, opTimeCode);
    protocolVersion(w).u8(0).u8(0).u8(frames).u8(seconds).u8(minutes).u8(hours).u8(type);
    return w.take();
}

IPv4Bytes parseIPv4(std::optional<std::string_view> dotted)
{
    if (!dotted)
        return fallbackIPv4;
    std::vector<std::uint8_t> bytes;
    std::string_view rest = *dotted;
    while (true) {
        const auto dot = rest.find('.');
        const std::string_view piece = rest.substr(0, dot);
        if (!piece.empty()) {
            unsigned value = 0;
            const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
            if (ec == std::errc() && end == piece.data() + piece.size() && value <= 255)
                bytes.push_back(static_cast<std::uint8_t>(value));
        }
        if (dot == std::string_view::npos)
            break;
        rest.remove_prefix(dot + 1);
    }
    if (bytes.size() != 4)
        return fallbackIPv4;
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

} // namespace orvelo::artnet
