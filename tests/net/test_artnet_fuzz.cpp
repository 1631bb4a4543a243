// Protects the node against hostile datagrams: thousands of mutated ArtDmx and RDM packets never
// crash a decoder nor read beyond the datagram (run under AddressSanitizer).
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"

#include "ArtNetTestSupport.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace orvelo;
using test::Bytes;

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
