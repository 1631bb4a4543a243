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

Bytes zeros(std::size_t n)
{
    return Bytes(n, 0);
}

const Bytes id{'A', 'r', 't', '-', 'N', 'e', 't', 0};

Bytes artDmx(std::uint8_t subUni, std::uint8_t net, std::uint16_t length, std::size_t dataBytes)
{
    Bytes d = cat({id, {0x00, 0x50}, {0x00, 0x0E}, {0x01, 0x00}, {subUni, net},
                   {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)}});
    for (std::size_t i = 0; i < dataBytes; ++i)
        d.push_back(static_cast<std::uint8_t>(i + 1));
    return d;
}

} // namespace

TEST(ArtNetHeader, AcceptsOnlyTheArtNetIDAndReadsTheOpCodeLowByteFirst)
{
    EXPECT_EQ(decodeHeader(cat({id, {0x00, 0x20}, {0x00, 0x0E}})), opPoll);
    EXPECT_EQ(decodeHeader(cat({id, {0x00, 0x24}, {0x00, 0x0E}})), 0x2400);
    // 11 bytes: too short even with a valid ID and OpCode.
    EXPECT_EQ(decodeHeader(cat({id, {0x00, 0x20}, {0x00}})), std::nullopt);
    // "Art-Net" without its zero byte.
    EXPECT_EQ(decodeHeader(Bytes{'A', 'r', 't', '-', 'N', 'e', 't', 'X', 0x00, 0x20, 0x00, 0x0E}), std::nullopt);
    EXPECT_EQ(decodeHeader({}), std::nullopt);
}

TEST(ArtDmx, LengthIsCappedAt512AndMustBeCoveredByTheDatagram)
{
    const auto full = artDmx(0x00, 0x00, 600, 600);
    const auto values = decodeArtDmx(full, 0);
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 512u);
    EXPECT_EQ((*values)[0], 1);
    EXPECT_EQ((*values)[511], static_cast<std::uint8_t>(512));

    EXPECT_EQ(decodeArtDmx(artDmx(0x00, 0x00, 600, 300), 0), std::nullopt);

    const auto threeChannels = artDmx(0x00, 0x00, 3, 3);
    const auto three = decodeArtDmx(threeChannels, 0);
    ASSERT_TRUE(three);
    EXPECT_EQ(Bytes(three->begin(), three->end()), (Bytes{1, 2, 3}));

    const auto oddLength = artDmx(0x00, 0x00, 5, 7);
    const auto odd = decodeArtDmx(oddLength, 0);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->size(), 5u);

    const auto noChannels = artDmx(0x00, 0x00, 0, 0);
    const auto empty = decodeArtDmx(noChannels, 0);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    // 17 bytes: no Length field.
    auto shortOne = artDmx(0x00, 0x00, 0, 0);
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

TEST(ArtPollReply, PollAnswerIsTheExact239Bytes)
{
    const Bytes expected = cat({
        id,                                          // ID
        {0x00, 0x21},                                // OpCode 0x2100
        {0x0A, 0x00, 0x00, 0x05},                    // IP address
        {0x36, 0x19},                                // Port 6454, low byte first
        {0x00, 0x0E},                                // VersInfoH, VersInfoL
        {0x03, 0x04},                                // NetSwitch, SubSwitch
        {0xFF, 0xFF},                                // OemHi, Oem
        {0x00},                                      // Ubea version
        {0x00},                                      // Status1
        {0xF0, 0x7F},                                // EstaManLo, EstaManHi
        text("ORVELONODE", 18),                      // ShortName
        text("ORVELONODE V.2.1.0 - Media Server", 64), // LongName
        text("#0001 [OK] Art-Net RDM Ready", 64),    // NodeReport
        {0x00, 0x01},                                // NumPortsHi, NumPortsLo
        {0x80, 0, 0, 0},                             // PortTypes: output
        {0, 0, 0, 0},                                // GoodInput
        {0x82, 0, 0, 0},                             // GoodOutputA
        {0x05, 0, 0, 0},                             // SwIn
        {0x05, 0, 0, 0},                             // SwOut
        {0, 0, 0},                                   // AcnPriority, SwMacro, SwRemote
        zeros(3),                                    // Spare
        {0x00},                                      // Style: StNode
        zeros(6),                                    // MAC
        {0x0A, 0x00, 0x00, 0x05},                    // BindIp
        {0x00},                                      // BindIndex
        {0x08},                                      // Status2
        {0, 0, 0, 0},                                // GoodOutputB
        {0x00},                                      // Status3
        zeros(21),                                   // DefaultRespUID, User, RefreshRate, Filler
    });
    ASSERT_EQ(expected.size(), 239u);
    EXPECT_EQ(encodePollReply(PollReplyVariant::pollAnswer, {10, 0, 0, 5}, 3, 4, 5), expected);
}

TEST(ArtPollReply, AnnouncementDiffersOnlyInItsStatusFields)
{
    const Bytes expected = cat({
        id,                                          // ID
        {0x00, 0x21},                                // OpCode 0x2100
        {0xC0, 0xA8, 0x01, 0x0B},                    // IP address
        {0x36, 0x19},                                // Port 6454
        {0x00, 0x0E},                                // VersInfoH, VersInfoL
        {0x00, 0x01},                                // NetSwitch, SubSwitch
        {0xFF, 0xFF},                                // OemHi, Oem
        {0x00},                                      // Ubea version
        {0xD0},                                      // Status1: indicators normal, front panel
        {0xF0, 0x7F},                                // EstaManLo, EstaManHi
        text("ORVELONODE", 18),                      // ShortName
        text("ORVELONODE V.2.1.0 - Media Server", 64), // LongName
        text("#0001 [0000] Orvelonode OK", 64),      // NodeReport
        {0x00, 0x01},                                // NumPorts
        {0xC0, 0, 0, 0},                             // PortTypes: output and input
        {0x80, 0, 0, 0},                             // GoodInput: data received
        {0x82, 0, 0, 0},                             // GoodOutputA
        {0x02, 0, 0, 0},                             // SwIn
        {0x02, 0, 0, 0},                             // SwOut
        {0, 0, 0},                                   // AcnPriority, SwMacro, SwRemote
        zeros(3),                                    // Spare
        {0x00},                                      // Style
        zeros(6),                                    // MAC
        {0xC0, 0xA8, 0x01, 0x0B},                    // BindIp
        {0x01},                                      // BindIndex
        {0x0E},                                      // Status2: DHCP, DHCP capable, 15-bit
        {0x80, 0, 0, 0},                             // GoodOutputB
        {0x00},                                      // Status3
        zeros(21),                                   // DefaultRespUID .. Filler
    });
    ASSERT_EQ(expected.size(), 239u);
    EXPECT_EQ(encodePollReply(PollReplyVariant::announcement, fallbackIPv4, 0, 1, 2), expected);
}

TEST(ArtTodData, CarriesTheAddressByteAndOneUID)
{
    const Bytes expected = cat({
        id,                                  // ID
        {0x00, 0x81},                        // OpCode 0x8100
        {0x00, 0x0E},                        // ProtVer
        {0x01},                              // RdmVer
        {0x00},                              // Port
        zeros(6),                            // Spare
        {0x00},                              // BindIndex
        {0x03},                              // Net
        {0x00},                              // CommandResponse: TodFull
        {0x12},                              // Address: sub-net 1, universe 2
        {0x00, 0x01},                        // UidTotal
        {0x00},                              // BlockCount
        {0x01},                              // UidCount
        {0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34}, // ToD entry
    });
    ASSERT_EQ(expected.size(), 34u);
    EXPECT_EQ(encodeTodData(3, addressByte(1, 2), {0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34}), expected);
}

TEST(ArtRdm, WrapsAMessageAndUnwrapsFrom47Bytes)
{
    const Bytes message{0x01, 0x18, 0xAA};
    const Bytes expected = cat({
        id,           // ID
        {0x00, 0x83}, // OpCode 0x8300
        {0x00, 0x0E}, // ProtVer
        {0x01},       // RdmVer
        {0x00},       // Filler
        zeros(5),     // Spare
        {0x00},       // FifoAvail
        {0x00},       // FifoMax
        {0x00},       // Net
        {0x00},       // Command: ArProcess
        {0x25},       // Address
        message,      // RDM message without start code
    });
    EXPECT_EQ(encodeArtRdm(0x25, message), expected);

    Bytes datagram = cat({expected, zeros(47 - expected.size())});
    const auto body = decodeArtRdm(datagram);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), 23u);
    EXPECT_EQ((*body)[0], 0x01);
    datagram.pop_back();
    EXPECT_EQ(decodeArtRdm(datagram), std::nullopt);
}

TEST(ArtTimeCode, CopiesTheFieldsUnchecked)
{
    const Bytes expected = cat({
        id,           // ID
        {0x00, 0x97}, // OpCode 0x9700
        {0x00, 0x0E}, // ProtVer
        {0x00},       // Filler1
        {0x00},       // StreamId
        {24},         // Frames
        {59},         // Seconds
        {58},         // Minutes
        {99},         // Hours: no range check
        {0x03},       // Type: SMPTE
    });
    ASSERT_EQ(expected.size(), 19u);
    EXPECT_EQ(encodeTimeCode(99, 58, 59, 24, 3), expected);
}

TEST(ParseIPv4, FourNumbersOrTheFallback)
{
    EXPECT_EQ(parseIPv4("10.0.0.5"), (IPv4Bytes{0x0A, 0x00, 0x00, 0x05}));
    EXPECT_EQ(parseIPv4("10..0.0.5"), (IPv4Bytes{10, 0, 0, 5}));
    EXPECT_EQ(parseIPv4(".10.0.0.5."), (IPv4Bytes{10, 0, 0, 5}));
    EXPECT_EQ(parseIPv4("10.x.0.0.5"), (IPv4Bytes{10, 0, 0, 5}));
    EXPECT_EQ(parseIPv4("10.0.5"), fallbackIPv4);
    EXPECT_EQ(parseIPv4("10.0.0.256"), fallbackIPv4);
    EXPECT_EQ(parseIPv4("10.0.0.5.6"), fallbackIPv4);
    EXPECT_EQ(parseIPv4(""), fallbackIPv4);
    EXPECT_EQ(parseIPv4(std::nullopt), (IPv4Bytes{0xC0, 0xA8, 0x01, 0x0B}));
}
