// Protects every Art-Net layout the node reads or writes, byte for byte: what a console
// receives from us and which datagrams we accept or ignore.
#include "net/ArtNetPacket.h"

#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::artnet;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Bytes id{'A', 'r', 't', '-', 'N', 'e', 't', 0};

// The ID, the OpCode low byte first and protocol version 14.
ByteWriter header(std::uint16_t opCode)
{
    ByteWriter w;
    w.bytes(id).u16le(opCode).u16be(14);
    return w;
}

// An ArtDmx whose data are 1, 2, 3... for `dataBytes` bytes, whatever its Length says.
Bytes artDmx(std::uint8_t subUni, std::uint8_t net, std::uint16_t length, std::size_t dataBytes)
{
    ByteWriter w = header(opOutput);
    w.u8(1).u8(0).u8(subUni).u8(net).u16be(length);
    for (std::size_t i = 0; i < dataBytes; ++i)
        w.u8(i + 1);
    return w.take();
}

} // namespace

TEST(ArtNetHeader, AcceptsOnlyTheArtNetIDAndReadsTheOpCodeLowByteFirst)
{
    const Bytes poll = header(opPoll).take();
    EXPECT_EQ(decodeHeader(poll), opPoll);
    EXPECT_EQ(decodeHeader(header(0x2400).take()), 0x2400);
    Bytes foreign = poll;
    foreign[7] = 'X';
    for (const Bytes& other : {Bytes(poll.begin(), poll.end() - 1), foreign, Bytes{}})
        EXPECT_EQ(decodeHeader(other), std::nullopt) << other.size();
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
        for (std::size_t i = 0; values && i < values->size(); ++i)
            EXPECT_EQ((*values)[i], static_cast<std::uint8_t>(i + 1));
        EXPECT_EQ(values ? values->size() : 0, c.values.value_or(0));
    }
    auto noLength = artDmx(0, 0, 0, 0);
    noLength.pop_back();
    EXPECT_EQ(decodeArtDmx(noLength, 0), std::nullopt);
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
    EXPECT_EQ(portAddressText(portAddress(127, 15, 15)), "127:15:15");
    // A universe above 15 (after an RDM address change) overlaps the sub-net bits.
    EXPECT_EQ(portAddress(0, 1, 18), 0x0012);
    EXPECT_EQ(addressByte(1, 2), 0x12);
}

TEST(ArtPollReply, PollAnswerIsTheExact239BytesAndTheAnnouncementDiffersInItsStatusFields)
{
    const Bytes ip{10, 0, 0, 5};
    ByteWriter w;
    w.bytes(id).u16le(opPollReply).bytes(ip).u16le(6454).u16be(14).u8(3).u8(4); // port, VersInfo, NetSwitch, SubSwitch
    w.u16be(0xFFFF).u8(0).u8(0).u16le(0x7FF0);                                  // Oem, Ubea version, Status1, EstaMan
    w.text("ORVELONODE", 18).text("ORVELONODE V.2.1.0 - Media Server", 64).text("#0001 [OK] Art-Net RDM Ready", 64);
    w.u16be(1).u8(0x80).zeros(7).u8(0x82).zeros(3); // NumPorts, PortTypes, GoodInput, GoodOutputA
    w.u8(5).zeros(3).u8(5).zeros(3).zeros(13);      // SwIn, SwOut, AcnPriority .. Style, MAC
    w.bytes(ip).u8(0).u8(0x08).zeros(26);           // BindIp, BindIndex, Status2, GoodOutputB .. Filler
    const Bytes answer = w.take();
    ASSERT_EQ(answer.size(), 239u);
    EXPECT_EQ(encodePollReply(PollReplyVariant::pollAnswer, {10, 0, 0, 5}, 3, 4, 5), answer);

    Bytes announcement = answer;
    // SubSwitch: sub-net 0; Status1: indicators normal, front panel; NodeReport; PortTypes: output
    // and input; GoodInput: data received; SwIn, SwOut; BindIndex; Status2: DHCP, DHCP capable,
    // 15-bit; GoodOutputB.
    const std::pair<std::size_t, Bytes> changed[] = {
        {19, {0x00}},  {23, {0xD0}},        {108, ByteWriter().text("#0001 [0000] Orvelonode OK", 64).take()},
        {174, {0xC0}}, {178, {0x80}},       {186, {0x02}},
        {190, {0x02}}, {211, {0x01, 0x0E}}, {213, {0x80}}};
    for (const auto& [at, bytes] : changed)
        std::copy(bytes.begin(), bytes.end(), announcement.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(encodePollReply(PollReplyVariant::announcement, {10, 0, 0, 5}, 3, 0, 2), announcement);
}

TEST(ArtNetEncoders, TodDataRdmAndTimeCode)
{
    const RdmUID uid{0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34};
    // RdmVer, Port, spare; BindIndex, Net, TodFull, sub-net 1 universe 2; UidTotal, BlockCount, UidCount
    ByteWriter tod = header(opTodData);
    tod.u8(1).zeros(7).u8(0).u8(3).u8(0).u8(0x12).u16be(1).u8(0).u8(1).bytes(uid);
    EXPECT_EQ(encodeTodData(3, addressByte(1, 2), uid), tod.data());

    const Bytes message{0x01, 0x18, 0xAA};
    ByteWriter rdm = header(opRdm);
    rdm.u8(1).zeros(10).u8(0x25).bytes(message); // RdmVer, filler .. ArProcess, Address
    EXPECT_EQ(encodeArtRdm(0x25, message), rdm.data());
    Bytes datagram = rdm.take();
    datagram.resize(minArtRdmSize);
    const auto body = decodeArtRdm(datagram);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), 23u);
    EXPECT_EQ((*body)[0], 0x01);
    datagram.pop_back();
    EXPECT_EQ(decodeArtRdm(datagram), std::nullopt);

    // Frames first; hours 99: the fields are copied unchecked.
    EXPECT_EQ(encodeTimeCode(99, 58, 59, 24, 3), header(opTimeCode).zeros(2).u8(24).u8(59).u8(58).u8(99).u8(3).take());
}

TEST(ParseIPv4, FourNumbersOrTheFallback)
{
    for (const char* four : {"10.0.0.5", "10..0.0.5", ".10.0.0.5.", "10.x.0.0.5"})
        EXPECT_EQ(parseIPv4(four), (IPv4Bytes{10, 0, 0, 5})) << four;
    for (const char* other : {"10.0.5", "10.0.0.256", "10.0.0.5.6", ""})
        EXPECT_EQ(parseIPv4(other), fallbackIPv4) << other;
    EXPECT_EQ(parseIPv4(std::nullopt), (IPv4Bytes{0xC0, 0xA8, 0x01, 0x0B}));
}
