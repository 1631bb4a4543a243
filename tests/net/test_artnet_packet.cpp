// Protects every Art-Net layout the node reads or writes, byte for byte: what a console
// receives from us and which datagrams we accept or ignore.
#include "net/ArtNetPacket.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using namespace orvelo;
using namespace orvelo::artnet;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes text(const std::string& s, std::size_t width)
{
    Bytes field(s.begin(), s.end());
    field.resize(width, 0);
    return field;
}

const Bytes id{'A', 'r', 't', '-', 'N', 'e', 't', 0};

// An ArtDmx whose data are 1, 2, 3... for `dataBytes` bytes, whatever its Length says.
Bytes artDmx(std::uint8_t subUni, std::uint8_t net, std::uint16_t length, std::size_t dataBytes)
{
    Bytes d = cat({id,
                   {0x00, 0x50, 0x00, 0x0E, 0x01, 0x00, subUni, net},
                   {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)}});
    for (std::size_t i = 0; i < dataBytes; ++i)
        d.push_back(static_cast<std::uint8_t>(i + 1));
    return d;
}

} // namespace

TEST(ArtNetHeader, AcceptsOnlyTheArtNetIDAndReadsTheOpCodeLowByteFirst)
{
    EXPECT_EQ(decodeHeader(cat({id, {0x00, 0x20, 0x00, 0x0E}})), opPoll);
    EXPECT_EQ(decodeHeader(cat({id, {0x00, 0x24, 0x00, 0x0E}})), 0x2400);
    EXPECT_EQ(decodeHeader(cat({id, {0x00, 0x20, 0x00}})), std::nullopt); // 11 bytes
    EXPECT_EQ(decodeHeader(Bytes{'A', 'r', 't', '-', 'N', 'e', 't', 'X', 0x00, 0x20, 0x00, 0x0E}), std::nullopt);
    EXPECT_EQ(decodeHeader({}), std::nullopt);
}

TEST(ArtDmx, LengthIsCappedAt512AndMustBeCoveredByTheDatagram)
{
    const struct {
        std::uint16_t length;
        std::size_t dataBytes;
        std::optional<std::size_t> values;
    } cases[] = {{600, 600, 512}, {600, 300, std::nullopt}, {3, 3, 3}, {5, 7, 5}, {0, 0, 0}};
    for (const auto& c : cases) {
        const Bytes datagram = artDmx(0, 0, c.length, c.dataBytes);
        const auto values = decodeArtDmx(datagram, 0);
        ASSERT_EQ(values.has_value(), c.values.has_value()) << c.length << "/" << c.dataBytes;
        if (values) {
            ASSERT_EQ(values->size(), *c.values);
            for (std::size_t i = 0; i < values->size(); ++i)
                EXPECT_EQ((*values)[i], static_cast<std::uint8_t>(i + 1));
        }
    }
    // 17 bytes: no Length field.
    auto shortOne = artDmx(0, 0, 0, 0);
    shortOne.pop_back();
    EXPECT_EQ(decodeArtDmx(shortOne, 0), std::nullopt);
}

TEST(ArtDmx, AcceptsOnlyTheNodesPortAddress)
{
    const int net0sub1uni2 = portAddress(0, 1, 2);
    EXPECT_EQ(net0sub1uni2, 0x0012);
    EXPECT_TRUE(decodeArtDmx(artDmx(0x12, 0x00, 2, 2), net0sub1uni2));
    EXPECT_FALSE(decodeArtDmx(artDmx(0x12, 0x01, 2, 2), net0sub1uni2));
    EXPECT_FALSE(decodeArtDmx(artDmx(0x21, 0x00, 2, 2), net0sub1uni2));
    EXPECT_TRUE(decodeArtDmx(artDmx(0x12, 0x01, 2, 2), portAddress(1, 1, 2)));
    // Any Port-Address is read, for the note that names the universe a console is on.
    EXPECT_EQ(decodeArtDmxFrame(artDmx(0x21, 0x03, 2, 2))->portAddress, portAddress(3, 2, 1));
    EXPECT_EQ(decodeArtDmxFrame(artDmx(0x21, 0x03, 4, 2)), std::nullopt);
    EXPECT_EQ(portAddressText(portAddress(3, 2, 1)), "3:2:1");
    EXPECT_EQ(portAddressText(0x7FFF), "127:15:15");
    EXPECT_EQ(portAddress(127, 15, 15), 0x7FFF);
    // A universe above 15 (after an RDM address change) overlaps the sub-net bits.
    EXPECT_EQ(portAddress(0, 1, 18), 0x0012);
    EXPECT_EQ(addressByte(1, 2), 0x12);
}

TEST(ArtPollReply, PollAnswerIsTheExact239BytesAndTheAnnouncementDiffersInItsStatusFields)
{
    const Bytes answer = cat({
        id,
        {0x00, 0x21}, // OpCode 0x2100
        {0x0A, 0x00, 0x00, 0x05},
        {0x36, 0x19},                                  // IP address, port 6454 low byte first
        {0x00, 0x0E, 0x03, 0x04},                      // VersInfo, NetSwitch, SubSwitch
        {0xFF, 0xFF, 0x00, 0x00, 0xF0, 0x7F},          // Oem, Ubea version, Status1, EstaMan
        text("ORVELONODE", 18),                        // ShortName
        text("ORVELONODE V.2.1.0 - Media Server", 64), // LongName
        text("#0001 [OK] Art-Net RDM Ready", 64),      // NodeReport
        {0x00, 0x01},                                  // NumPorts
        {0x80, 0, 0, 0},
        {0, 0, 0, 0},
        {0x82, 0, 0, 0}, // PortTypes: output, GoodInput, GoodOutputA
        {0x05, 0, 0, 0},
        {0x05, 0, 0, 0}, // SwIn, SwOut
        Bytes(6, 0),
        {0x00},
        Bytes(6, 0),                          // AcnPriority .. Spare, Style: StNode, MAC
        {0x0A, 0x00, 0x00, 0x05, 0x00, 0x08}, // BindIp, BindIndex, Status2
        {0, 0, 0, 0},
        {0x00},
        Bytes(21, 0), // GoodOutputB, Status3, DefaultRespUID .. Filler
    });
    ASSERT_EQ(answer.size(), 239u);
    EXPECT_EQ(encodePollReply(PollReplyVariant::pollAnswer, {10, 0, 0, 5}, 3, 4, 5), answer);

    Bytes announcement = answer;
    const std::pair<std::size_t, Bytes> changed[] = {
        {19, {0x00}},                                  // SubSwitch: sub-net 0
        {23, {0xD0}},                                  // Status1: indicators normal, front panel
        {108, text("#0001 [0000] Orvelonode OK", 64)}, // NodeReport
        {174, {0xC0}},
        {178, {0x80}}, // PortTypes: output and input; data received
        {186, {0x02}},
        {190, {0x02}},       // SwIn, SwOut
        {211, {0x01, 0x0E}}, // BindIndex; Status2: DHCP, DHCP capable, 15-bit
        {213, {0x80}},       // GoodOutputB
    };
    for (const auto& [at, bytes] : changed)
        std::copy(bytes.begin(), bytes.end(), announcement.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(encodePollReply(PollReplyVariant::announcement, {10, 0, 0, 5}, 3, 0, 2), announcement);
}

TEST(ArtNetEncoders, TodDataRdmAndTimeCode)
{
    const Bytes uid{0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34};
    EXPECT_EQ(encodeTodData(3, addressByte(1, 2), {0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34}),
              cat({id,
                   {0x00, 0x81, 0x00, 0x0E, 0x01, 0x00}, // OpCode 0x8100, ProtVer, RdmVer, Port
                   Bytes(6, 0),
                   {0x00, 0x03, 0x00, 0x12}, // Spare, BindIndex, Net, TodFull, sub-net 1 universe 2
                   {0x00, 0x01, 0x00, 0x01},
                   uid})); // UidTotal, BlockCount, UidCount, the entry

    const Bytes message{0x01, 0x18, 0xAA};
    const Bytes rdm = cat({id,
                           {0x00, 0x83, 0x00, 0x0E, 0x01, 0x00}, // OpCode 0x8300, ProtVer, RdmVer, Filler
                           Bytes(5, 0),
                           {0x00, 0x00, 0x00, 0x00}, // Spare, FifoAvail, FifoMax, Net, ArProcess
                           {0x25},
                           message}); // Address, the message
    EXPECT_EQ(encodeArtRdm(0x25, message), rdm);
    Bytes datagram = cat({rdm, Bytes(47 - rdm.size(), 0)});
    const auto body = decodeArtRdm(datagram);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), 23u);
    EXPECT_EQ((*body)[0], 0x01);
    datagram.pop_back();
    EXPECT_EQ(decodeArtRdm(datagram), std::nullopt);

    // Hours 99: the fields are copied unchecked.
    EXPECT_EQ(encodeTimeCode(99, 58, 59, 24, 3),
              cat({id, {0x00, 0x97, 0x00, 0x0E, 0x00, 0x00}, {24, 59, 58, 99, 0x03}})); // frames first, SMPTE
}

TEST(ParseIPv4, FourNumbersOrTheFallback)
{
    for (const char* four : {"10.0.0.5", "10..0.0.5", ".10.0.0.5.", "10.x.0.0.5"})
        EXPECT_EQ(parseIPv4(four), (IPv4Bytes{10, 0, 0, 5})) << four;
    for (const char* other : {"10.0.5", "10.0.0.256", "10.0.0.5.6", ""})
        EXPECT_EQ(parseIPv4(other), fallbackIPv4) << other;
    EXPECT_EQ(parseIPv4(std::nullopt), (IPv4Bytes{0xC0, 0xA8, 0x01, 0x0B}));
}
