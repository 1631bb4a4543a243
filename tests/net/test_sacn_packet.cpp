// Protects the sACN decoder: the exact offsets of identifier, universe, count and slots, and
// that no datagram, however malformed, is read past its end or yields slots it does not hold.
#include "net/SACNPacket.h"

#include "support/UdpTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace orvelo;
using Bytes = std::vector<std::uint8_t>;

namespace {

// An E1.31 data packet for universe 7 carrying four slots, as a console sends it: start code at
// 125, the property value count (start code included) at 123, the universe at 113.
Bytes validPacket()
{
    return test::sacnDataPacket(7, {0x11, 0x22, 0x33, 0xFF});
}

void setCount(Bytes& packet, unsigned count)
{
    packet[123] = static_cast<std::uint8_t>(count >> 8);
    packet[124] = static_cast<std::uint8_t>(count & 0xFF);
}

} // namespace

TEST(SACNPacket, DecodesUniverseAndSlotsAndIgnoresTheFieldsItDoesNotExamine)
{
    auto packet = validPacket();
    ASSERT_EQ(packet.size(), 130u);
    const auto decoded = SACNPacket::decode(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->universe, 7);
    EXPECT_EQ(Bytes(decoded->slotValues.begin(), decoded->slotValues.end()), (Bytes{0x11, 0x22, 0x33, 0xFF}));

    // Preamble, root and framing vectors, priority, options (stream terminated), DMP vector and
    // start code.
    for (const std::size_t at : {0, 18, 40, 108, 112, 117, 125})
        packet[at] ^= 0x40;
    const auto still = SACNPacket::decode(packet);
    ASSERT_TRUE(still);
    EXPECT_EQ(still->slotValues.data(), packet.data() + 126);
    EXPECT_EQ(still->slotValues.size(), 4u);
}

// Random datagrams and mutations of a valid one, each in a buffer of exactly its size so
// that the sanitizer build catches any read beyond it. Each result is checked against the
// rule stated independently of the decoder: a broken identifier, a datagram shorter than its
// header, a count below 2 or past the datagram refuse it; a count beyond 512 slots is cut.
TEST(SACNPacket, RandomDatagramsAreDecodedOnlyWhenWhole)
{
    std::mt19937 random(0x5AC4);
    const auto base = validPacket();
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes datagram;
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

        const bool idMatches = datagram.size() >= 16 && std::equal(SACNPacket::acnPacketID.begin(),
                                                                   SACNPacket::acnPacketID.end(), datagram.begin() + 4);
        const unsigned count = datagram.size() >= 125 ? (datagram[123] << 8) | datagram[124] : 0;
        const std::size_t slotCount = count >= 2 ? std::min<std::size_t>(count - 1, 512) : 0;
        const bool whole = datagram.size() >= 126 && idMatches && count >= 2 && datagram.size() >= 126 + slotCount;

        const auto decoded = SACNPacket::decode(datagram);
        ASSERT_EQ(decoded.has_value(), whole)
            << "round " << round << ", size " << datagram.size() << ", count " << count;
        if (!decoded)
            continue;
        ++accepted;
        EXPECT_EQ(decoded->universe, (datagram[113] << 8) | datagram[114]);
        ASSERT_EQ(decoded->slotValues.size(), slotCount);
        EXPECT_EQ(decoded->slotValues.data(), datagram.data() + 126);
    }
    EXPECT_GT(accepted, 1000) << "the generator must also produce acceptable packets";
}
