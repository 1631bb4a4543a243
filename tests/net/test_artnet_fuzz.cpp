// Protects the node against hostile datagrams: thousands of random and mutated Art-Net and RDM
// packets never crash a decoder nor read beyond the datagram (run under AddressSanitizer).
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"

#include "ArtNetTestSupport.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace orvelo;
using test::Bytes;

TEST(ArtNetFuzz, RandomAndMutatedDatagramsAreDecodedSafely)
{
    std::mt19937 random(20240611);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const rdm::RdmUID uid = rdm::uidForProcess(4660);
    std::atomic<int> universe{0};
    std::atomic<int> subnet{0};
    int answers = 0;
    const RdmResponder responder(
        uid, universe, subnet, [&](std::span<const std::uint8_t>, const sockaddr_in&) { ++answers; }, [](int, int) {});
    // Touches every byte a decoder hands out, so a span reaching past the datagram trips the sanitizer.
    unsigned sink = 0;
    const auto touch = [&](std::span<const std::uint8_t> part) {
        sink = std::accumulate(part.begin(), part.end(), sink);
    };

    for (int i = 0; i < 20000; ++i) {
        const Bytes seeds[] = {test::artDmx(0, 0, 0, Bytes(below(520), 0x55)),
                               test::rdmRequest(uid, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01}),
                               test::rdmRequest(rdm::broadcastUID, rdm::getCommand, rdm::RDM_DEVICE_INFO),
                               test::rdmRequest(uid, rdm::setCommand, rdm::RDM_DEVICE_LABEL, Bytes(below(40), 'L'))};
        Bytes d = seeds[below(std::size(seeds))];
        for (std::size_t edits = below(6); edits > 0 && !d.empty(); --edits) {
            switch (below(3)) {
            case 0: // a byte of the header fields and lengths
                d[below(std::min<std::size_t>(d.size(), 60))] = static_cast<std::uint8_t>(below(256));
                break;
            case 1: // a large value where a length lives: ArtDmx Length, RDM PDL
                if (const std::size_t at = below(2) == 0 ? 16 : artnet::artRdmHeaderSize + 22; at < d.size())
                    d[at] = 0xFF;
                break;
            default: // cut the end
                d.resize(below(d.size() + 1));
            }
        }
        // An exact-size copy: any read past its end leaves the allocation.
        const Bytes datagram(d.begin(), d.end());
        if (const auto values = artnet::decodeArtDmx(datagram, 0)) {
            EXPECT_LE(values->size(), artnet::maxChannels);
            touch(*values);
        }
        if (const auto message = artnet::decodeArtRdm(datagram)) {
            if (const auto request = rdm::parseRequest(*message); request && request->parameterData)
                touch(*request->parameterData);
        }
        responder.processRdm(datagram, sockaddr_in{});
        universe = 0;
    }
    EXPECT_GT(answers, 0); // the mutations still reach the handlers
    RecordProperty("checksum", static_cast<int>(sink));
}
