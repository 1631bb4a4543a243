// Protects the media server against hostile input: seeded mutated UDP packets and TCP streams
// never crash a reader nor read outside the bytes given (run under AddressSanitizer).
#include "citp/CITPPacket.h"
#include "citp/CITPStreamFramer.h"

#include "CITPTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvelo;
using namespace orvelo::test;

TEST(CITPFuzz, MutatedPacketsAndStreamsAreReadSafely)
{
    std::mt19937 random(11);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::pair<std::string_view, std::string_view> kinds[] = {
        {"PINF", "PLoc"}, {"MSEX", "ELin"}, {"FPTC", "Ptch"}};
    CITPStreamFramer framer;
    for (int i = 0; i < 3000; ++i) {
        // A request of a kind the server reads, in either header form, then flipped and maybe cut.
        const auto& [type, code] = kinds[below(std::size(kinds))];
        Bytes body(below(120));
        for (auto& b : body)
            b = below(4) == 0 ? 0 : static_cast<std::uint8_t>(below(256));
        Bytes p = below(2) == 0 ? fullMessage(type, code, body) : compactMessage(type, code, body);
        for (std::size_t n = below(4); n > 0; --n)
            p[below(p.size())] = static_cast<std::uint8_t>(below(256));
        p.resize(below(3) == 0 ? below(p.size()) : p.size());
        // Each in its own allocation, read at every offset, and pushed as a stream cut anywhere.
        const Bytes packet(p.begin(), p.end());
        (void)citp::classify(packet);
        for (std::size_t offset = 0; offset <= packet.size() + 2; ++offset) {
            (void)citp::codeAt(packet, offset);
            (void)citp::readPeerLocation(packet, offset);
            (void)citp::readMediaIndex(packet, offset);
            if (const auto patch = citp::readPatch(packet, offset)) {
                EXPECT_LE(patch->fixtures.size(), citp::maxPatchFixtures) << citp::patchSummary(*patch);
            }
        }
        const auto result = framer.push(packet);
        for (const Bytes& message : result.messages)
            EXPECT_TRUE(message.size() >= 12 && std::equal(message.begin(), message.begin() + 4, "CITP"));
        EXPECT_LE(framer.buffered(), CITPStreamFramer::maxMessageSize);
    }
}
