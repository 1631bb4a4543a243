// Protects the media server against hostile input: seeded random and mutated UDP packets and TCP
// streams never crash a reader nor read outside the bytes given (run under AddressSanitizer).
#include "citp/CITPPacket.h"
#include "citp/CITPStreamFramer.h"

#include "CITPTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvelo;
using namespace orvelo::test;

namespace {

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : random_(seed) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(below(256)); }

    // Mostly a request of a kind the server reads, in either header form, then flipped, cut or
    // extended a little.
    Bytes packet()
    {
        Bytes p = below(4) == 0 ? Bytes(below(64)) : validMessage();
        if (p.size() < 20 && below(2) == 0)
            for (auto& b : p)
                b = byte();
        for (std::size_t n = below(4); n > 0 && !p.empty(); --n)
            p[below(p.size())] = byte();
        if (below(3) == 0 && !p.empty())
            p.resize(below(p.size()));
        if (below(5) == 0)
            p.push_back(byte());
        return p;
    }

private:
    Bytes validMessage()
    {
        static const std::pair<std::string_view, std::string_view> kinds[] = {
            {"PINF", "PLoc"}, {"MSEX", "CInf"}, {"MSEX", "ELin"}, {"MSEX", "SThm"},
            {"MSEX", "GELI"}, {"FPTC", "SndP"}, {"FPTC", "Ptch"}, {"OMEX", "xxxx"}};
        const auto& [type, code] = kinds[below(std::size(kinds))];
        Bytes body(below(120));
        for (auto& b : body)
            b = below(4) == 0 ? 0 : byte();
        return below(2) == 0 ? fullMessage(type, code, body) : compactMessage(type, code, body);
    }

    std::mt19937 random_;
};

// Runs every reader the receive thread would run on the packet; each packet sits in its own
// allocation so that a read past its end is caught.
void readAsService(const Bytes& datagram)
{
    const auto packet = citp::classify(datagram);
    if (!packet)
        return;
    EXPECT_LE(packet->bodyOffset, datagram.size());
    const std::size_t body = packet->bodyOffset;
    (void)citp::codeAt(datagram, body);
    (void)citp::readPeerLocation(datagram, body);
    (void)citp::readMediaIndex(datagram, body);
    if (const auto patch = citp::readPatch(datagram, body)) {
        EXPECT_LE(patch->fixtures.size(), citp::maxPatchFixtures);
        EXPECT_LE(patch->fixtures.size(), patch->announcedCount);
        (void)citp::patchSummary(*patch);
    }
}

// The same readers handed every offset, in and beyond the packet.
void readAtEveryOffset(const Bytes& datagram)
{
    for (std::size_t offset = 0; offset <= datagram.size() + 2; ++offset) {
        (void)citp::codeAt(datagram, offset);
        (void)citp::readPeerLocation(datagram, offset);
        (void)citp::readMediaIndex(datagram, offset);
        (void)citp::readPatch(datagram, offset);
    }
}

} // namespace

TEST(CITPFuzz, RandomAndMutatedPacketsAreReadSafely)
{
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        Mutator mutate(seed);
        for (int i = 0; i < 800; ++i) {
            const Bytes packet = mutate.packet();
            readAsService(packet);
            readAtEveryOffset(packet);
        }
    }
}

TEST(CITPFuzz, RandomStreamsAreFramedSafely)
{
    for (std::uint32_t seed = 11; seed <= 14; ++seed) {
        SCOPED_TRACE(seed);
        Mutator mutate(seed);
        CITPStreamFramer framer;
        for (int read = 0; read < 2000; ++read) {
            Bytes chunk;
            for (std::size_t n = mutate.below(4); n > 0; --n)
                chunk = cat({chunk, mutate.packet()});
            // Cut the stream anywhere, as TCP may.
            chunk.resize(mutate.below(chunk.size() + 1));
            const auto result = framer.push(chunk);
            for (const Bytes& message : result.messages) {
                ASSERT_GE(message.size(), 12u);
                EXPECT_TRUE(std::equal(message.begin(), message.begin() + 4, "CITP"));
                readAsService(message);
            }
            EXPECT_LE(framer.buffered(), CITPStreamFramer::maxMessageSize);
            if (result.broken) {
                EXPECT_EQ(framer.buffered(), 0u);
            }
        }
    }
}
