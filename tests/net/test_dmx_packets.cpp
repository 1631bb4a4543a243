// Every Art-Net and sACN layout the node reads or writes, byte for byte, and mutated datagrams that
// never crash a decoder nor read beyond the datagram (under AddressSanitizer).
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"
#include "net/SACNPacket.h"

#include "ArtNetTestSupport.h"
#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <random>

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
    Bytes foreign = poll;
    foreign[7] = 'X';
    EXPECT_EQ(decodeHeader(foreign), std::nullopt);
    EXPECT_EQ(decodeHeader(Bytes(poll.begin(), poll.end() - 1)), std::nullopt);
}

TEST(ArtDmx, LengthIsCappedAt512AndMustBeCoveredByTheDatagramOfTheNodesPortAddress)
{
    EXPECT_EQ(decodeArtDmx(artDmx(0, 0, 600, 600), 0)->size(), 512u);
    EXPECT_EQ(decodeArtDmx(artDmx(0, 0, 600, 300), 0), std::nullopt);
    const Bytes sevenSent = artDmx(0, 0, 5, 7);   // the decoded slots point into the datagram
    const auto five = decodeArtDmx(sevenSent, 0); // what follows the Length is not read
    EXPECT_EQ(Bytes(five->begin(), five->end()), (Bytes{1, 2, 3, 4, 5}));
    auto noLength = artDmx(0, 0, 0, 0);
    noLength.pop_back();
    EXPECT_EQ(decodeArtDmxFrame(noLength), std::nullopt);

    EXPECT_TRUE(decodeArtDmx(artDmx(0x12, 0x01, 2, 2), portAddress(1, 1, 2)));
    EXPECT_FALSE(decodeArtDmx(artDmx(0x12, 0x01, 2, 2), portAddress(0, 1, 2)));
    // Any Port-Address is read, for the note that names the universe a console is on.
    EXPECT_EQ(decodeArtDmxFrame(artDmx(0x21, 0x03, 2, 2))->portAddress, portAddress(3, 2, 1));
    EXPECT_EQ(portAddressText(portAddress(127, 15, 15)), "127:15:15");
}

TEST(ArtPollReply, PollAnswerIsTheExact239BytesAndTheAnnouncementDiffersInItsStatusFields)
{
    const Bytes ip{10, 0, 0, 5};
    ByteWriter w;
    w.bytes(id).u16le(opPollReply).bytes(ip).u16le(6454).u16be(14).u8(3).u8(4); // port, VersInfo, Net/SubSwitch
    w.u16be(0xFFFF).u8(0).u8(0x02).u16le(0x7FF0); // Oem, Ubea, Status1 (RDM capable), EstaMan
    w.text("ORVELONODE", 18).text("ORVELONODE V.2.1.0 - Media Server", 64).text("#0001 [OK] Art-Net RDM Ready", 64);
    w.u16be(1).u8(0x80).zeros(7).u8(0x82).zeros(3); // NumPorts, PortTypes, GoodInput, GoodOutputA
    w.u8(5).zeros(3).u8(5).zeros(3).zeros(13);      // SwIn, SwOut, AcnPriority .. Style, MAC
    w.bytes(ip).u8(0).u8(0x08).zeros(26);           // BindIp, BindIndex, Status2, GoodOutputB .. Filler
    const Bytes answer = w.take();
    ASSERT_EQ(answer.size(), 239u);
    EXPECT_EQ(encodePollReply(PollReplyVariant::pollAnswer, {10, 0, 0, 5}, 3, 4, 5), answer);

    // Status1, NodeReport, PortTypes: output and input, Status2: DHCP, DHCP capable, 15-bit.
    const Bytes announcement = encodePollReply(PollReplyVariant::announcement, {10, 0, 0, 5}, 3, 0, 2);
    EXPECT_EQ(announcement[23], 0xD2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&announcement[108])), "#0001 [0000] Orvelonode OK");
    EXPECT_EQ(announcement[174], 0xC0);
    EXPECT_EQ(announcement[212], 0x0E);
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
    EXPECT_EQ(decodeArtRdm(datagram)->size(), 23u);
    datagram.pop_back();
    EXPECT_EQ(decodeArtRdm(datagram), std::nullopt);

    // Frames first; hours 99: the fields are copied unchecked.
    EXPECT_EQ(encodeTimeCode(99, 58, 59, 24, 3), header(opTimeCode).zeros(2).u8(24).u8(59).u8(58).u8(99).u8(3).take());
}

TEST(ArtTimeCodeIn, ReadsWhatTheEncoderWritesAndRefusesFieldsOutOfRange)
{
    const auto code = decodeTimeCode(encodeTimeCode(1, 2, 3, 29, 3));
    ASSERT_TRUE(code);
    EXPECT_EQ(code->frameOfDay(), ((60 + 2) * 60 + 3) * 30 + 29);
    EXPECT_EQ(decodeTimeCode(encodeTimeCode(23, 59, 59, 23, 0))->frameOfDay(), 24 * 3600 * 24 - 1);
    for (const auto& bad :
         {encodeTimeCode(24, 0, 0, 0, 1), encodeTimeCode(0, 60, 0, 0, 1), encodeTimeCode(0, 0, 60, 0, 1),
          encodeTimeCode(0, 0, 0, 25, 1), encodeTimeCode(0, 0, 0, 0, 4)})
        EXPECT_FALSE(decodeTimeCode(bad));
    auto shortPacket = encodeTimeCode(0, 0, 0, 0, 1);
    shortPacket.pop_back();
    EXPECT_FALSE(decodeTimeCode(shortPacket));
}

TEST(ParseIPv4, FourNumbersOrTheFallback)
{
    // Empty pieces are dropped, pieces that are no number skipped.
    for (const char* four : {"10..0.0.5", "10.x.0.0.5"})
        EXPECT_EQ(parseIPv4(four), (IPv4Bytes{10, 0, 0, 5})) << four;
    for (const char* other : {"10.0.0.256", "10.0.0.5.6"})
        EXPECT_EQ(parseIPv4(other), fallbackIPv4) << other;
    EXPECT_EQ(parseIPv4(std::nullopt), fallbackIPv4);
}

TEST(SACNPacket, DecodesUniverseAndSlotsAndIgnoresTheFieldsItDoesNotExamine)
{
    auto packet = test::sacnDataPacket(7, {0x11, 0x22, 0x33, 0xFF});
    ASSERT_EQ(packet.size(), 130u);
    // Preamble, root and framing vectors, priority, options (stream terminated), DMP vector and
    // start code.
    for (const std::size_t at : {0, 18, 40, 108, 112, 117, 125})
        packet[at] ^= 0x40;
    const auto decoded = SACNPacket::decode(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->universe, 7);
    EXPECT_EQ(decoded->slotValues.data(), packet.data() + 126);
    EXPECT_EQ(Bytes(decoded->slotValues.begin(), decoded->slotValues.end()), (Bytes{0x11, 0x22, 0x33, 0xFF}));
}

// Each datagram sits in an allocation of exactly its size, so the sanitizer build catches a read
// beyond it.
TEST(SACNPacket, MalformedDatagramsAreRefusedAndLongCountsCut)
{
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        std::optional<std::size_t> slotCount;
    } cases[] = {
        {"shorter than the header", [](Bytes& p) { p.resize(125); }, std::nullopt},
        {"foreign identifier", [](Bytes& p) { p[4] ^= 1; }, std::nullopt},
        {"start code only", [](Bytes& p) { p[124] = 1; }, std::nullopt},
        {"count past the datagram", [](Bytes& p) { p[124] = 10; }, std::nullopt},
        {"count beyond 513", [](Bytes& p) { p = test::sacnDataPacket(1, Bytes(600, 1)); }, 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes made = test::sacnDataPacket(1, {1, 2, 3, 4});
        c.damage(made);
        const Bytes datagram(made.begin(), made.end());
        const auto decoded = SACNPacket::decode(datagram);
        ASSERT_EQ(decoded.has_value(), c.slotCount.has_value());
        if (decoded) {
            EXPECT_EQ(decoded->slotValues.size(), *c.slotCount);
        }
    }
}

TEST(ArtNetFuzz, MutatedDatagramsAreDecodedSafely)
{
    std::mt19937 random(20240611);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const rdm::RdmUID uid = rdm::uidForProcess(4660);
    std::atomic<int> universe{0};
    std::atomic<int> subnet{0};
    int answers = 0;
    RdmResponder responder(uid, universe, subnet, [&](std::span<const std::uint8_t>, const sockaddr_in&) { ++answers; },
                           {});
    unsigned sink = 0;
    for (int i = 0; i < 20000; ++i) {
        Bytes d = below(2) ? test::artDmx(0, 0, 0, Bytes(below(520), 0x55))
                           : test::rdmRequest(below(2) ? uid : rdm::broadcastUID, rdm::setCommand,
                                              below(2) ? rdm::pidDmxStartAddress : rdm::pidDeviceLabel,
                                              Bytes(below(40), 'L'));
        // The header fields and lengths are the interesting bytes; then the end may be cut.
        for (std::size_t edits = below(4); edits > 0; --edits)
            d[below(std::min<std::size_t>(d.size(), 60))] = static_cast<std::uint8_t>(below(256));
        d.resize(below(4) == 0 ? below(d.size() + 1) : d.size());
        // An exact-size copy: any read past its end leaves the allocation.
        const Bytes datagram(d.begin(), d.end());
        if (const auto values = artnet::decodeArtDmx(datagram, 0))
            sink = std::accumulate(values->begin(), values->end(), sink);
        responder.processRdm(datagram, sockaddr_in{});
        universe = 0;
    }
    EXPECT_GT(answers, 0); // the mutations still reach the handlers
    RecordProperty("checksum", static_cast<int>(sink));
}
