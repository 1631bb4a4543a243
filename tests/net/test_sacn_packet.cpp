// Protects the sACN decoder: the exact offsets of identifier, universe, count and slots, and
// that no datagram, however malformed, is read past its end or yields slots it does not hold.
#include "net/SACNPacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace orvelo;

namespace {

// An E1.31 data packet for universe 7 carrying four slots, as a console sends it.
std::vector<std::uint8_t> validPacket()
{
    return {
        // Root layer
        0x00, 0x10,                                           // preamble size
        0x00, 0x00,                                           // post-amble size
        'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0, // ACN packet identifier
        0x70, 0x72,                                           // flags and length (114)
        0x00, 0x00, 0x00, 0x04,                               // root vector: E1.31 data
        0x4F, 0x52, 0x56, 0x45, 0x4C, 0x4F, 0x00, 0x01,       // sender CID
        0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
        // Framing layer (offset 38)
        0x70, 0x5C,             // flags and length (92)
        0x00, 0x00, 0x00, 0x02, // framing vector: DMP data
        'C', 'o', 'n', 's', 'o', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 0, // source name, 64 bytes
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x64,       // priority 100 (offset 108)
        0x00, 0x00, // synchronisation address
        0x2A,       // sequence number
        0x00,       // options
        0x00, 0x07, // universe 7 (offset 113)
        // DMP layer (offset 115)
        0x70, 0x0F,             // flags and length (15)
        0x02,                   // DMP vector: set property
        0xA1,                   // address and data type
        0x00, 0x00,             // first property address
        0x00, 0x01,             // address increment
        0x00, 0x05,             // property value count: start code plus four slots (offset 123)
        0x00,                   // start code (offset 125)
        0x11, 0x22, 0x33, 0xFF, // slots 1-4 (offset 126)
    };
}

std::vector<std::uint8_t> values(const SACNDataPacket& packet)
{
    return {packet.slotValues.begin(), packet.slotValues.end()};
}

void setCount(std::vector<std::uint8_t>& packet, unsigned count)
{
    packet[123] = static_cast<std::uint8_t>(count >> 8);
    packet[124] = static_cast<std::uint8_t>(count & 0xFF);
}

} // namespace

TEST(SACNPacket, DecodesUniverseAndSlotsOfAConsolePacket)
{
    const auto packet = validPacket();
    ASSERT_EQ(packet.size(), 130u);
    const auto decoded = SACNPacket::decode(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->universe, 7);
    EXPECT_EQ(values(*decoded), (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0xFF}));
}

TEST(SACNPacket, DropsABrokenIdentifierOrLength)
{
    auto firstIdByte = validPacket();
    firstIdByte[4] = 'B';
    EXPECT_FALSE(SACNPacket::decode(firstIdByte));

    auto lastIdByte = validPacket();
    lastIdByte[15] = 0x01;
    EXPECT_FALSE(SACNPacket::decode(lastIdByte));

    auto shorterThanHeader = validPacket();
    shorterThanHeader.resize(125);
    setCount(shorterThanHeader, 0);
    EXPECT_FALSE(SACNPacket::decode(shorterThanHeader));
    EXPECT_FALSE(SACNPacket::decode({}));
}

TEST(SACNPacket, DropsACountThatIsTooSmallOrRunsPastTheDatagram)
{
    for (const unsigned count : {0u, 1u}) {
        auto packet = validPacket();
        setCount(packet, count);
        EXPECT_FALSE(SACNPacket::decode(packet)) << "count " << count;
    }
    for (const unsigned count : {6u, 513u, 0xFFFFu}) {
        auto packet = validPacket();
        setCount(packet, count);
        EXPECT_FALSE(SACNPacket::decode(packet)) << "count " << count << " with four slots present";
    }
    // Start code only, nothing after it.
    auto headerOnly = validPacket();
    headerOnly.resize(126);
    setCount(headerOnly, 1);
    EXPECT_FALSE(SACNPacket::decode(headerOnly));
}

TEST(SACNPacket, TakesOnlyTheCountedSlotsUpToAFullFrame)
{
    auto longer = validPacket();
    setCount(longer, 4);
    longer.resize(129);
    auto decoded = SACNPacket::decode(longer);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(values(*decoded), (std::vector<std::uint8_t>{0x11, 0x22, 0x33}));

    auto full = validPacket();
    full.resize(638);
    setCount(full, 513);
    for (std::size_t i = 126; i < full.size(); ++i)
        full[i] = static_cast<std::uint8_t>(i);
    decoded = SACNPacket::decode(full);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->slotValues.size(), 512u);
    EXPECT_EQ(decoded->slotValues.front(), static_cast<std::uint8_t>(126));
    EXPECT_EQ(decoded->slotValues.back(), static_cast<std::uint8_t>(637));

    // A count beyond a full frame is cut to 512 rather than refused.
    setCount(full, 600);
    decoded = SACNPacket::decode(full);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->slotValues.size(), 512u);
}

TEST(SACNPacket, IgnoresTheFieldsItDoesNotExamine)
{
    auto packet = validPacket();
    packet[0] = 0xEE;   // preamble
    packet[18] = 0x7F;  // root vector
    packet[40] = 0x7F;  // framing vector
    packet[108] = 0xC8; // priority
    packet[112] = 0x40; // options: stream terminated
    packet[117] = 0x00; // DMP vector
    packet[125] = 0xDD; // start code
    const auto decoded = SACNPacket::decode(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(values(*decoded), (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0xFF}));
}

// Random datagrams and mutations of a valid one, each in a buffer of exactly its size so
// that the sanitizer build catches any read beyond it. Each result is checked against the
// rule stated independently of the decoder.
TEST(SACNPacket, RandomDatagramsAreDecodedOnlyWhenWhole)
{
    std::mt19937 random(0x5AC4);
    const auto base = validPacket();
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> datagram;
        const int kind = round % 3;
        if (kind == 0) {
            datagram.resize(random() % 1500);
            for (auto& byte : datagram)
                byte = static_cast<std::uint8_t>(random());
            if (datagram.size() >= 16)
                std::copy(SACNPacket::acnPacketID.begin(), SACNPacket::acnPacketID.end(), datagram.begin() + 4);
        } else {
            datagram = base;
            datagram.resize(120 + random() % 700, static_cast<std::uint8_t>(random()));
            if (datagram.size() >= 125)
                setCount(datagram, kind == 1 ? random() % 700 : random() % 0x10000);
            const int flips = random() % 3;
            for (int i = 0; i < flips && !datagram.empty(); ++i)
                datagram[random() % datagram.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        }
        datagram.shrink_to_fit();

        const bool idMatches = datagram.size() >= 16
            && std::equal(SACNPacket::acnPacketID.begin(), SACNPacket::acnPacketID.end(), datagram.begin() + 4);
        const unsigned count = datagram.size() >= 125 ? (datagram[123] << 8) | datagram[124] : 0;
        const std::size_t slotCount = count >= 2 ? std::min<std::size_t>(count - 1, 512) : 0;
        const bool whole = datagram.size() >= 126 && idMatches && count >= 2 && datagram.size() >= 126 + slotCount;

        const auto decoded = SACNPacket::decode(datagram);
        ASSERT_EQ(decoded.has_value(), whole) << "round " << round << ", size " << datagram.size() << ", count " << count;
        if (!decoded)
            continue;
        ++accepted;
        EXPECT_EQ(decoded->universe, (datagram[113] << 8) | datagram[114]);
        ASSERT_EQ(decoded->slotValues.size(), slotCount);
        EXPECT_EQ(decoded->slotValues.data(), datagram.data() + 126);
    }
    EXPECT_GT(accepted, 1000) << "the generator must also produce acceptable packets";
}
