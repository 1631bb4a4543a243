// Protects the sACN decoder: the exact offsets of identifier, universe, count and slots, and
// that a malformed datagram is refused rather than read past its end.
#include "net/SACNPacket.h"

#include "support/UdpTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace orvelo;
using Bytes = std::vector<std::uint8_t>;

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
